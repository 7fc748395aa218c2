"""The Dask path: a LocalCluster of worker processes classifies a few
thousand documents, with answers equal to one process's."""

import os

import pytest

import wenlei
import wenlei.dask
from conftest import ROOT, sample_sentences

dask_bag = pytest.importorskip("dask.bag")
distributed = pytest.importorskip("distributed")


def documents(count=3000):
    """count documents: runs of one, two, ... consecutive sample sentences."""
    sentences = sample_sentences()
    found = []
    length = 1
    while len(found) < count:
        found.extend("。".join(sentences[start:start + length])
                     for start in range(0, len(sentences) - length + 1))
        length += 1
    return found[:count]


def test_local_cluster_answers_equal_one_process(tmp_path):
    texts = documents() + [b"\xff not UTF-8"]
    assert len(texts) == 3001
    expected = [answer if isinstance(answer, wenlei.Error) else answer.as_dict()
                for answer in wenlei.Classifier().classify_many(texts, errors="return")]
    expected[-1] = {"error": expected[-1].message, "status": "bad encoding"}

    with distributed.LocalCluster(n_workers=2, threads_per_worker=2, processes=True,
                                  dashboard_address=None, local_directory=str(tmp_path),
                                  env={"PYTHONPATH": str(ROOT / "python")}) as cluster, \
            distributed.Client(cluster) as client:
        bag = dask_bag.from_sequence(texts, npartitions=16)
        answers = wenlei.dask.classify_bag(bag, errors="return").compute()
        pids = set(client.run(lambda: __import__("os").getpid()).values())
        frame = wenlei.dask.classify_dataframe(text_frame(texts[:-1], 16), "text").compute()
        opened = client.run(lambda: len(__import__("wenlei.dask").dask._classifiers))
    assert len(pids) == 2
    assert answers == expected
    assert list(opened.values()) == [1, 1]  # each worker opened the set once for bag and frame
    assert list(frame["label"]) == [answer["label"] for answer in expected[:-1]]
    assert list(frame["confidence"]) == [answer["confidence"] for answer in expected[:-1]]


def text_frame(texts, partitions):
    import pandas
    dask_dataframe = pytest.importorskip("dask.dataframe")
    return dask_dataframe.from_pandas(
        pandas.DataFrame({"id": range(len(texts)), "text": texts}), npartitions=partitions)


def test_a_dataframe_gains_label_confidence_and_unknown_columns():
    texts = ["插入图表", "要删除数据透视图，请选择图表，然后按 Del。", "the", b"\xff not UTF-8"]
    frame = text_frame(texts, 2)
    expected = wenlei.Classifier().classify_many(texts, errors="return")
    spread = wenlei.dask.classify_dataframe(frame, "text", errors="return", prefix="wenlei_")
    assert dict(spread.dtypes) == {"id": "int64", "text": object, "wenlei_label": object,
                                   "wenlei_confidence": "float64", "wenlei_unknown": bool,
                                   "wenlei_error": object}
    answered = spread.compute(scheduler="sync")
    assert dict(answered.dtypes) == dict(spread.dtypes)
    assert list(answered["id"]) == [0, 1, 2, 3]
    assert list(answered["wenlei_label"]) == [result.label for result in expected[:3]] + [None]
    assert list(answered["wenlei_unknown"]) == [result.unknown for result in expected[:3]] + [True]
    assert list(answered["wenlei_confidence"])[:3] == [result.confidence for result in expected[:3]]
    assert answered["wenlei_error"][3] == expected[3].message
    assert answered["wenlei_error"][:3].isna().all()
    with pytest.raises(wenlei.DocumentError):
        wenlei.dask.classify_dataframe(frame, "text").compute(scheduler="sync")
    with pytest.raises(ValueError, match="already has a column 'wenlei_label'"):
        wenlei.dask.classify_dataframe(spread, "text", prefix="wenlei_")


def test_errors_raise_by_default():
    bag = dask_bag.from_sequence(["插入图表", b"\xff"], npartitions=1)
    with pytest.raises(wenlei.DocumentError):
        wenlei.dask.classify_bag(bag).compute(scheduler="sync")


def test_read_text_with_bad_bytes(tmp_path):
    """The README's reading: bad bytes reach the package, which gives that
    line an error and classifies the others."""
    (tmp_path / "corpus.txt").write_bytes("插入图表\n".encode() + b"\xff\xfe bad\n" + "用 Basic 编写宏\n".encode())
    bag = dask_bag.read_text(str(tmp_path / "corpus.txt"), errors="surrogateescape").map(str.rstrip)
    answers = wenlei.dask.classify_bag(bag, errors="return").compute(scheduler="sync")
    assert [answer.get("label") for answer in answers] == ["图表", None, "宏编程"]
    assert answers[1]["status"] == "bad encoding"


def test_grid_search_over_the_estimator_on_a_local_cluster(tmp_path):
    """GridSearchCV's fits spread over a cluster's worker processes, through
    joblib's Dask backend, give the search of one process."""
    joblib = pytest.importorskip("joblib")
    pytest.importorskip("sklearn")
    from sklearn.model_selection import GridSearchCV
    from wenlei.sklearn import TextClassifier
    from sklearn_test import corpus
    texts, labels = corpus(12)
    grid = {"cost": [0.01, 1], "class_weight": [None, "balanced"]}

    def search():
        return GridSearchCV(TextClassifier(features="all", folds=2, n_jobs=1), grid, cv=3,
                            n_jobs=-1).fit(texts, labels)
    expected = search()
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None, local_directory=str(tmp_path),
                                  env={"PYTHONPATH": str(ROOT / "python")}) as cluster, \
            distributed.Client(cluster) as client, joblib.parallel_backend("dask"):
        with distributed.get_task_stream(client) as tasks:
            spread = search()
    assert len({task["worker"] for task in tasks.data}) == 2  # the fits ran on both workers
    assert spread.best_params_ == expected.best_params_
    assert list(spread.cv_results_["mean_test_score"]) == list(expected.cv_results_["mean_test_score"])
    assert list(spread.predict(texts[:9])) == list(expected.predict(texts[:9]))


def labelled_sentences():
    """Sentences of the bundled sample pages, each labelled with its page,
    and one with a character GBK cannot encode, which training leaves out."""
    texts, labels = [], []
    for page in sorted((ROOT / "models" / "samples").glob("*.txt")):
        sentences = [part.strip() for part in page.read_text(encoding="utf-8").split("。")]
        for sentence in [part for part in sentences if part][:40]:
            texts.append(sentence)
            labels.append(page.stem)
    texts[0] += "😀图表"
    return texts, labels


def test_search_on_a_local_cluster_writes_the_set_of_one_machine(tmp_path):
    """The search's shares run on two worker processes, and the set written
    is, file for file and byte for byte, the one a single process writes:
    from texts in memory and from a corpus file the workers cannot see."""
    texts, labels = labelled_sentences()
    corpus_file = tmp_path / "corpus.tsv"
    corpus_file.write_text("".join("%s\t%s\n" % pair for pair in zip(labels, texts)), encoding="utf-8")
    options = dict(features=[30, "all"], cost=[0.5, 4], folds=3, raw=True)
    for name, data in [("texts", (texts, labels)), ("file", corpus_file)]:
        wenlei.train(data, tmp_path / name / "alone", **options)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None, local_directory=str(tmp_path / "dask"),
                                  env={"PYTHONPATH": str(ROOT / "python")}) as cluster, \
            distributed.Client(cluster) as client:
        for name, data in [("texts", (texts, labels)), ("file", str(corpus_file))]:
            with distributed.get_task_stream(client) as tasks:
                wenlei.train(data, tmp_path / name / "spread", client=client, shares=5, **options)
            assert len({task["worker"] for task in tasks.data if "run_share" in task["key"]}) == 2
    for name in ["texts", "file"]:
        alone, spread = tmp_path / name / "alone", tmp_path / name / "spread"
        assert sorted(os.listdir(spread)) == sorted(os.listdir(alone)) == [
            "Confidence.txt", "Metadata.txt", "SVMModel", "Source.dat"]
        for file in os.listdir(alone):
            assert (spread / file).read_bytes() == (alone / file).read_bytes(), (name, file)
