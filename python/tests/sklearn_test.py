"""wenlei.sklearn.TextClassifier and wenlei.train against the real trainer."""

import io
import json
import os
import pickle
import random
import shutil
import subprocess
import sys

import pytest

import wenlei
from conftest import ROOT

numpy = pytest.importorskip("numpy")
sklearn = pytest.importorskip("sklearn")
from sklearn.base import clone  # noqa: E402
from sklearn.exceptions import NotFittedError  # noqa: E402
from sklearn.model_selection import GridSearchCV, cross_val_score  # noqa: E402
from sklearn.pipeline import make_pipeline  # noqa: E402
from sklearn.preprocessing import FunctionTransformer  # noqa: E402
from sklearn.utils import estimator_checks  # noqa: E402

from wenlei.sklearn import TextClassifier  # noqa: E402

TOPICS = {"体育": "球队 比赛 进球 冠军 足球 篮球", "财经": "银行 利率 投资者 经济 股票 基金",
          "科技": "电脑 软件 芯片 网络 手机 程序"}
FAST = dict(cost=1, features="all", folds=2)  # one candidate: no search inside training


def corpus(per_class=20, seed=7):
    generator = random.Random(seed)
    texts, labels = [], []
    for _ in range(per_class):
        for name, words in TOPICS.items():
            texts.append("，".join(generator.choice(words.split()) for _ in range(6)))
            labels.append(name)
    return texts, numpy.array(labels)


def strip_all(texts):
    return [text.strip() for text in texts]


@pytest.fixture(scope="module")
def fitted():
    texts, labels = corpus()
    return TextClassifier(**FAST).fit(texts, labels), texts, labels


# ---- scikit-learn's own checks: those that do not make numeric data, and
# those that take the data as arguments, given texts ----

@pytest.mark.parametrize("check", [
    estimator_checks.check_no_attributes_set_in_init,
    estimator_checks.check_parameters_default_constructible,
    estimator_checks.check_get_params_invariance,
    estimator_checks.check_set_params,
    estimator_checks.check_estimator_get_tags_default_keys,
], ids=lambda check: check.__name__)
def test_estimator_checks_without_data(check):
    check("TextClassifier", TextClassifier(**FAST))


def _problems():
    texts, labels = corpus(12)
    binary = labels != "科技"
    two = numpy.where(labels[binary] == "体育", 1, -1)
    return [(texts, labels.astype(object)), (list(numpy.array(texts)[binary]), labels[binary]),
            (list(numpy.array(texts)[binary]), two)]


@pytest.mark.parametrize("problem", range(3), ids=["three names", "two names", "-1 and 1"])
def test_estimator_checks_with_texts(problem):
    texts, labels = _problems()[problem]
    estimator_checks.check_classifiers_predictions(numpy.array(texts, dtype=object), labels,
                                                   "TextClassifier", TextClassifier(**FAST))
    if labels.dtype.kind == "i":  # it compares predictions as numbers
        estimator_checks.check_estimators_data_not_an_array(
            "TextClassifier", TextClassifier(**FAST), texts, labels, "NotAnArray")


def test_what_checks_ask_of_every_classifier(fitted):
    model, texts, labels = fitted
    with pytest.raises(NotFittedError):
        TextClassifier().predict(["足球"])
    assert list(model.classes_) == sorted(TOPICS)
    probabilities = model.predict_proba(texts)
    numpy.testing.assert_allclose(probabilities.sum(axis=1), 1.0, atol=1e-6)
    assert (model.classes_[probabilities.argmax(axis=1)] == model.predict(texts)).all()
    assert (model.decision_function(texts).argmax(axis=1) == probabilities.argmax(axis=1)).all()
    assert list(model.predict(texts[:7])) == [model.predict([text])[0] for text in texts[:7]]
    again = clone(model).fit(texts, labels)
    numpy.testing.assert_array_equal(again.predict_proba(texts), probabilities)  # deterministic
    assert model.score(texts, labels) > 0.9
    with pytest.raises(TypeError):
        model.predict("足球比赛")
    with pytest.raises(ValueError, match="two classes"):
        TextClassifier().fit(texts[:3], ["体育"] * 3)


def test_decision_function_gives_the_models_margins(fitted):
    # Three classes: a row per text, each pair's value counted for one class
    # and against the other, so every row sums to 0.  Two classes: one value
    # per text, the pair's decision value (the explanation's), positive for
    # classes_[1]; 0 and 1 are no log-probabilities.
    model, texts, labels = fitted
    margins = model.decision_function(texts)
    assert margins.shape == (len(texts), 3)
    numpy.testing.assert_allclose(margins.sum(axis=1), 0.0, atol=1e-9)
    assert (model.classes_[margins.argmax(axis=1)] == model.predict(texts)).all()
    two = labels != "科技"
    binary = TextClassifier(**FAST).fit(list(numpy.array(texts)[two]), labels[two])
    values = binary.decision_function(texts[:6])
    assert values.shape == (6,)
    for text, value in zip(texts[:6], values):
        explained = binary.classifier_.classify(text).explain()
        sign = 1 if explained.answer == binary.classes_[1] else -1
        assert value == pytest.approx(sign * explained.decision_value, rel=1e-9)
        assert (value > 0) == (binary.predict([text])[0] == binary.classes_[1])


@pytest.mark.parametrize("names, kind", [
    ({"体育": 2, "财经": 10, "科技": 1}, "i"),  # str() forms sort otherwise
    ({"体育": "sports and games", "财经": "finance 财经", "科技": "科技"}, "O"),  # long, with spaces
    ({"体育": "sci fi", "财经": "hi fi", "科技": "NULL"}, "O"),  # one answer form "fi" untagged
    ({"体育": ("a", 1), "财经": None, "科技": 2.5}, "O"),  # any hashable values, mixed
])
def test_labels_of_any_kind(names, kind):
    texts, labels = corpus()
    values = [names[label] for label in labels]
    model = TextClassifier(**FAST).fit(texts, values)
    assert set(model.classes_) == set(names.values()) and model.classes_.dtype.kind == kind
    checked = ["足球，比赛", "股票，银行", "手机，电脑"]
    expected = [names["体育"], names["财经"], names["科技"]]
    # One dtype, the labels as given, whatever the kind of X and of y.
    pandas = pytest.importorskip("pandas")
    for fitted_on in (values, pandas.Series(values)):
        model = TextClassifier(**FAST).fit(texts, fitted_on)
        for given in (checked, numpy.array(checked), pandas.Series(checked)):
            predicted = model.predict(given)
            assert predicted.dtype.kind == kind and list(predicted) == expected
    if names["体育"] == "sci fi":  # the classifier answers with each label's str() in full
        answers = [model.classifier_.classify(text).names[0] for text in checked]
        assert answers == [str(label) for label in expected]


@pytest.mark.parametrize("labels, message", [
    ([1, "1"], r"labels 1 and '1' are ambiguous"),
    (["a", ""], r"empty str"),
    (["a", ["b"]], r"hashable"),
])
def test_labels_that_cannot_be_told_apart_are_refused(labels, message):
    texts, _ = corpus(2)
    with pytest.raises((ValueError, TypeError), match=message):
        TextClassifier(**FAST).fit(texts, [labels[i % 2] for i in range(len(texts))])


def test_class_weight_and_n_jobs_as_scikit_learn_names_them():
    texts, labels = corpus()
    texts = texts + ["足球，股票"] * 4
    labels = list(labels) + ["体育", "财经"] * 2

    def probabilities(**parameters):
        return TextClassifier(**FAST, **parameters).fit(texts, labels).predict_proba(texts)
    plain = probabilities()
    numpy.testing.assert_array_equal(probabilities(class_weight="balanced"),
                                     probabilities(class_weights=1))
    numpy.testing.assert_array_equal(probabilities(class_weight={"体育": 1}), plain)
    heavy = probabilities(class_weight={"财经": 50})
    column = sorted(TOPICS).index("财经")
    assert heavy[-1, column] > plain[-1, column]  # the mixed text leans to the heavy class
    numpy.testing.assert_array_equal(probabilities(n_jobs=-1), probabilities(jobs=1))
    for parameters in (dict(n_jobs=2, jobs=1), dict(class_weight="balanced", class_weights=0.5),
                       dict(class_weight="heavy"), dict(class_weight={"足球": 2}),
                       dict(class_weight={"体育": 0})):
        with pytest.raises(ValueError):
            probabilities(**parameters)


def test_a_class_of_weight_zero_is_never_predicted():
    texts, labels = corpus()
    zero = sorted(TOPICS)[0]
    weights = numpy.where(labels == zero, 0.0, 1.0)
    model = TextClassifier(**FAST).fit(texts, labels, sample_weight=weights)
    assert list(model.classes_) == sorted(TOPICS)
    assert zero not in set(model.predict(texts + ["abc"]))
    assert model.prior_[0] == 0 and (model.predict_proba(texts)[:, 0] == 0).all()
    with pytest.raises(ValueError):
        model.fit(texts, labels, sample_weight=numpy.where(labels == zero, 1.0, 0.0))


def test_balanced_weighting_raises_a_minority_class_recall():
    """A class of 4 documents among 40: the balanced weighting carries into
    the probabilities (their sigmoids are fitted with the classes' weights),
    so that more of the class's held-out texts are answered with it."""
    generator = random.Random(3)
    topics = dict(TOPICS, 天气="下雨 晴天 气温 台风 预报 比赛")
    texts, labels = [], []
    for name, count in (("体育", 18), ("财经", 18), ("天气", 4)):
        for _ in range(2 * count):
            texts.append("，".join(generator.choice(topics[name].split()) for _ in range(3)))
            labels.append(name)
    train_texts, train_labels = texts[0::2], labels[0::2]
    held_out = [text for text, label in zip(texts[1::2], labels[1::2]) if label == "天气"]

    def recall(**weighting):
        model = TextClassifier(**FAST, **weighting).fit(train_texts, train_labels)
        return numpy.mean(model.predict(held_out) == "天气")
    assert recall(class_weight="balanced") > recall()


def test_a_document_without_known_words_gets_the_prior(fitted):
    model, _, _ = fitted
    numpy.testing.assert_allclose(model.predict_proba(["abc"])[0], model.prior_)


# ---- in scikit-learn's machinery ----

def test_training_parameters_are_the_library_options():
    options = wenlei.training_options()
    assert options["cost"] == "0.0625,0.125,0.25,0.5,1,2,4,8" and options["folds"] == "5"
    training = set(TextClassifier().get_params()) - set(TextClassifier._NOT_TRAINING)
    older = {"dictionary": "dict", "n_jobs": "jobs"}  # the older name, scikit-learn's name
    training = {older.get(name, name) for name in training}
    assert training <= set(options), training - set(options)


def test_pipeline_grid_search_and_cross_validation():
    texts, labels = corpus(15)
    pipeline = make_pipeline(FunctionTransformer(strip_all), TextClassifier(features="all", folds=2))
    search = GridSearchCV(pipeline, {"textclassifier__cost": [0.01, 1], "textclassifier__min_df": [1],
                                     "textclassifier__multiclass": ["one-vs-rest", "one-vs-one"]},
                          cv=3).fit(texts, labels)
    assert search.best_params_["textclassifier__cost"] in (0.01, 1)
    assert search.best_estimator_.predict(["足球，比赛"])[0] == "体育"
    scores = cross_val_score(TextClassifier(**FAST), texts, labels, cv=3)
    assert len(scores) == 3 and scores.min() > 0.8


def test_fixed_parameters_train_without_a_search_on_words_segmented_once(tmp_path, monkeypatch):
    """A fit given its point trains it with a held-out calibration, from
    words the estimators segment once per process: the set is the one
    wenlei.train makes of the texts themselves."""
    from wenlei import sklearn as estimators
    texts, labels = corpus(12, seed=11)
    monkeypatch.setattr(estimators, "_WORDS", estimators._Words())
    segmented = []
    real = estimators._WORDS.segment
    monkeypatch.setattr(estimators._WORDS, "segment",
                        lambda text, dictionary: segmented.append(text) or real(text, dictionary))
    search = GridSearchCV(TextClassifier(), {"cost": [0.5, 2]}, cv=3).fit(texts, labels)
    assert sorted(segmented) == sorted(set(segmented)) and len(segmented) == len(set(texts))
    model = search.best_estimator_
    assert "held out" in model.classifier_.info["trained_with"]
    point = dict(TextClassifier.FIXED_POINT, cost=search.best_params_["cost"])
    wenlei.train((texts, list(labels)), tmp_path / "set", held_out=True, **point)
    for name in ("Source.dat", "SVMModel", "Confidence.txt"):
        assert (tmp_path / "set" / name).read_bytes() == model._fitted.files[name], name
    assert "cross-validation" in TextClassifier(cost=[0.5, 2]).fit(texts, labels) \
        .classifier_.info["trained_with"]


def test_pickle_in_a_fresh_process_without_the_training_files(tmp_path):
    texts, labels = corpus()
    model = TextClassifier(**FAST).fit(texts, labels)
    expected = list(model.predict(texts[:6]))
    (tmp_path / "model.pickle").write_bytes(pickle.dumps(model))
    copy = pickle.loads((tmp_path / "model.pickle").read_bytes())
    shutil.rmtree(model._fitted.directory)  # the trained set's files are gone
    shutil.rmtree(copy._fitted.directory)
    program = ("import pickle, sys\n"
               "model = pickle.load(open(sys.argv[1], 'rb'))\n"
               "print('\\n'.join(model.predict(sys.argv[2:])))\n")
    run = subprocess.run([sys.executable, "-c", program, str(tmp_path / "model.pickle")] + texts[:6],
                         capture_output=True, text=True, cwd=str(tmp_path),
                         env=dict(os.environ, PYTHONPATH=str(ROOT / "python")))
    assert run.returncode == 0, run.stderr
    assert run.stdout.split() == expected


def _dictionary_without_the_topic_words(tmp_path):
    from wenlei import _library
    bundled = _library.library().wenlei_default_dictionary().decode()
    words = {word for text in TOPICS.values() for word in text.split()}
    lines = open(bundled, encoding="utf-8").read().splitlines(True)
    other = tmp_path / "other-dict.txt"
    other.write_text("".join(line for line in lines if line.split(" ")[0] not in words),
                     encoding="utf-8")
    return other


def test_a_set_names_its_dictionary_and_warns_once_of_another(tmp_path):
    import warnings
    texts, labels = corpus()
    made = wenlei.train((texts, labels), tmp_path / "set", **FAST)
    other = _dictionary_without_the_topic_words(tmp_path)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        with wenlei.Classifier(made) as same:
            assert "; dictionary sha256 " in same.info["trained_with"] and same.info["warning"] is None
        assert caught == []
        for _ in range(2):
            with wenlei.Classifier(made, dictionary=other) as changed:
                assert changed.classify(texts[0]).words > 0  # it works all the same
                assert "segmenting with sha256" in changed.info["trained_with"]
    assert [warning.category for warning in caught] == [UserWarning]  # once
    assert str(other) in str(caught[0].message)


def test_a_pickled_estimator_carries_its_own_dictionary(tmp_path):
    texts, labels = corpus()
    other = _dictionary_without_the_topic_words(tmp_path)
    model = TextClassifier(dictionary=str(other), **FAST).fit(texts, labels)
    expected = list(model.predict(texts[:6]))
    (tmp_path / "model.pickle").write_bytes(pickle.dumps(model))
    other.unlink()  # the dictionary named at training is gone
    program = ("import pickle, sys\n"
               "model = pickle.load(open(sys.argv[1], 'rb'))\n"
               "print('\\n'.join(model.predict(sys.argv[2:])))\n")
    run = subprocess.run([sys.executable, "-W", "error::UserWarning", "-c", program,
                          str(tmp_path / "model.pickle")] + texts[:6],
                         capture_output=True, text=True, cwd=str(tmp_path),
                         env=dict(os.environ, PYTHONPATH=str(ROOT / "python")))
    assert run.returncode == 0, run.stderr
    assert run.stdout.split() == expected
    from wenlei import _library
    bundled = _library.library().wenlei_default_dictionary().decode()
    named = TextClassifier(dictionary=bundled, **FAST).fit(texts, labels)
    assert "dictionary.txt" not in named._fitted.files  # installed everywhere: not carried


def test_imports_and_works_without_scikit_learn(tmp_path):
    texts, labels = corpus()
    program = ("import json, sys\n"
               "sys.modules['sklearn'] = None  # as if it were not installed\n"
               "from wenlei.sklearn import TextClassifier\n"
               "texts, labels = json.load(sys.stdin)\n"
               "model = TextClassifier().set_params(cost=1, features='all', folds=2)\n"
               "assert model.get_params()['cost'] == 1\n"
               "print(model.fit(texts, labels).score(texts, labels))\n")
    run = subprocess.run([sys.executable, "-c", program], input=json.dumps([texts, list(labels)]),
                         capture_output=True, text=True, cwd=str(tmp_path),
                         env=dict(os.environ, PYTHONPATH=str(ROOT / "python")))
    assert run.returncode == 0, run.stderr
    assert float(run.stdout) > 0.9


# ---- wenlei.train ----

def test_train_from_a_corpus_file_with_progress(tmp_path):
    texts, labels = corpus()
    (tmp_path / "corpus.tsv").write_text(
        "".join("%s\t%s\n" % (label, text.replace("，", " ")) for text, label in zip(texts, labels)),
        encoding="utf-8")
    seen = []
    made = wenlei.train(tmp_path / "corpus.tsv", tmp_path / "set", progress=lambda *step: seen.append(step),
                        **FAST)
    assert made == str(tmp_path / "set") and seen
    assert all(0 <= done <= total for _, done, total in seen)
    last = {stage: (done, total) for stage, done, total in seen}
    assert list(last) == ["features", "cross-validation", "calibration", "training"]
    assert all(done == total for done, total in last.values()), last
    with wenlei.Classifier(made) as trained:
        assert trained.classify_words(["足球", "比赛"]).answer == "体育"


def test_train_stops_when_asked(tmp_path):
    texts, labels = corpus()

    def fail(stage, done, total):
        raise KeyboardInterrupt

    with pytest.raises(wenlei.CancelledError):
        wenlei.train((texts, labels), tmp_path / "set", progress=lambda *step: True, **FAST)
    with pytest.raises(KeyboardInterrupt):
        wenlei.train((texts, labels), tmp_path / "set", progress=fail, **FAST)
    assert not (tmp_path / "set" / "SVMModel").exists()


@pytest.mark.parametrize("arguments, error", [
    (dict(no_such_option=1), ValueError),
    (dict(kernel="cubic"), ValueError),
    (dict(data=("足球",)), TypeError),
    (dict(data=(["足球"], ["体育", "财经"])), ValueError),
    (dict(data=(["足球", 3], ["体育", "财经"])), TypeError),
])
def test_train_refuses_bad_arguments(tmp_path, arguments, error):
    data = arguments.pop("data", corpus())
    with pytest.raises(error):
        wenlei.train(data, tmp_path / "set", **arguments)


class _Terminal(io.StringIO):
    def isatty(self):
        return True


def test_progress_bar_shows_each_stage_done_on_a_terminal():
    from wenlei._training import ProgressBar
    shown = _Terminal()
    bar = ProgressBar(shown)
    for step in [("features", 0, 1), ("cross-validation", 0, 2), ("cross-validation", 1, 2)]:
        bar(*step)
    bar.close(finished=True)
    lines = [line.split("\r")[-1] for line in shown.getvalue().split("\n")[:-1]]
    assert lines == ["features: 100% (1 of 1)", "cross-validation: 100% (2 of 2)"]


def test_progress_bar_writes_plain_lines_every_few_seconds_elsewhere():
    from wenlei._training import ProgressBar
    now = [0.0]
    shown = io.StringIO()
    bar = ProgressBar(shown, interval=5, clock=lambda: now[0])
    for second in range(13):  # one update a second
        now[0] = float(second)
        bar("cross-validation", second, 20)
    bar.close(finished=True)
    lines = shown.getvalue().splitlines()
    assert "\r" not in shown.getvalue()
    assert lines == ["wenlei train: [    0s] cross-validation:   0% (0 of 20)",
                     "wenlei train: [    5s] cross-validation:  25% (5 of 20)",
                     "wenlei train: [   10s] cross-validation:  50% (10 of 20)",
                     "wenlei train: [   12s] cross-validation: 100% (20 of 20)"]
