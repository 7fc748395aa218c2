"""The Python interface against the real library and the bundled resource set."""

import copy
import ctypes
import dataclasses
import pickle
import random
import subprocess
import sys
import threading
from pathlib import Path

import pytest

import wenlei
from conftest import SAMPLES, BUNDLED, ROOT, sample_sentences

SHORT_TEXT = "文本内容太短或无效，不能确定类别"


# ---- the exported functions, driven as a C host drives them ----

class _Text(ctypes.Union):
    _fields_ = [("inline_bytes", ctypes.c_char * 16), ("address", ctypes.c_char_p)]


class _WordEntry(ctypes.Structure):
    _fields_ = [("reserved", ctypes.c_void_p), ("text", _Text),
                ("length", ctypes.c_size_t), ("capacity", ctypes.c_size_t)]


class _WordList(ctypes.Structure):
    _fields_ = [("reserved_begin", ctypes.c_void_p), ("first", ctypes.c_void_p),
                ("end", ctypes.c_void_p), ("reserved_end", ctypes.c_void_p)]


def exports_answer(prefix, gbk_words):
    """Classification's GBK answer for the words, with the set at prefix."""
    library = ctypes.CDLL(wenlei.library_path())
    library.CreateClassifier.restype = ctypes.c_void_p
    library.LoadSource.restype = ctypes.c_ubyte
    entries = (_WordEntry * max(len(gbk_words), 1))()
    for entry, word in zip(entries, gbk_words):
        entry.length = len(word)
        if len(word) < 16:
            entry.capacity = 15
            ctypes.memmove(ctypes.addressof(entry) + _WordEntry.text.offset, word, len(word))
        else:
            entry.capacity = len(word)
            entry.text.address = word
    first = ctypes.addressof(entries)
    words = _WordList(None, first, first + len(gbk_words) * ctypes.sizeof(_WordEntry), None)
    answer = ctypes.create_string_buffer(256)
    assert library.LoadSource(str(prefix).encode() + b"/") == 1
    handle = library.CreateClassifier()
    library.Classification(ctypes.c_void_p(handle), ctypes.byref(words), answer)
    library.releaseClassifier(ctypes.c_void_p(handle))
    library.releasesource()
    return answer.value


def test_answers_equal_the_exports(classifier, resource_copy):
    texts = sample_sentences()[::25] + ["插入图表", "", "abc"]
    for text in texts:
        words = [word.encode("gbk", "ignore") for word in wenlei.segment(text)]
        result = classifier.classify_words(words, encoding="gbk")
        assert result.answer_gbk == exports_answer(resource_copy, words), text
        assert result.answer == result.answer_gbk.decode("gbk")
        assert classifier.classify(text).answer == result.answer, text


# ---- results ----

def test_result_of_a_text(classifier):
    result = classifier.classify("插入图表")
    assert result.answer == result.label == "图表"
    assert result.names == ["图表"]
    assert (result.words, result.known_words) == (2, 2)
    assert list(result.probabilities) == sorted(result.probabilities, key=result.probabilities.get,
                                                reverse=True)
    assert set(result.probabilities) == set(classifier.classes)
    assert next(iter(result.probabilities)) == "图表"
    assert sum(result.probabilities.values()) == pytest.approx(1.0, abs=1e-6)
    assert 0.0 < result.confidence <= 1.0


@pytest.mark.parametrize("text", ["", "   ", "abc xyz", "😀"])
def test_document_without_known_words(classifier, text):
    result = classifier.classify(text)
    assert result.answer == SHORT_TEXT
    assert result.label is None
    assert result.names == []
    assert result.probabilities == {}
    assert result.known_words == 0
    assert result.unknown


def test_two_names_are_the_answer_split(classifier):
    for text in sample_sentences():
        result = classifier.classify(text)
        assert " or ".join(result.names) == result.answer, text
        assert result.label == (None if result.unknown else result.names[0])


def test_an_unknown_answer_has_no_label(resource_copy):
    with wenlei.Classifier(resource_copy, min_confidence=1.0) as strict:
        result = strict.classify("插入图表")
    assert (result.answer, result.unknown, result.label) == ("图表", True, None)


def test_top_k(classifier):
    texts = sample_sentences()[:20] + ["abc"]
    tops = classifier.classify_many(texts, k=3)
    for text, top in zip(texts, tops):
        result = classifier.classify(text)
        assert top == result.top(3) == list(result.probabilities.items())[:3]
        assert len(top) == (3 if result.known_words else 0)
    assert len(classifier.classify("插入图表").top(100)) == len(classifier.classes)


def test_explanations_sum_to_the_decision_value():
    with wenlei.Classifier() as opened:  # a linear model
        result = opened.classify("要删除数据透视图，请选择图表，然后按 Del。")
        every = result.explain(None)
        assert every.words == result.explain(None, content_only=True).words
        assert (every.answer, every.runner_up) == tuple(result.probabilities)[:2]
        assert sum(value for _, value in every.words) + every.rest == \
            pytest.approx(every.decision_value, abs=1e-9)
        assert result.explain(2).words == every.words[:2] == list(result.explain(2))
        assert len(every) == len(every.words) and dict(every)["图表"] == every.words[0][1]
        # Content words only: the others (punctuation, numbers) go into the rest.
        page = opened.classify((SAMPLES / "scalc.txt").read_text(encoding="utf-8"))
        every_word, content = page.explain(None, content_only=False), page.explain(None)
        left_out = [(word, value) for word, value in every_word if word not in dict(content)]
        assert [pair for pair in every_word if pair not in left_out] == content.words
        assert left_out and not any(character.isalpha() for word, _ in left_out for character in word)
        assert all(any(character.isalpha() for character in word) for word, _ in content)
        assert content.rest == pytest.approx(every_word.rest + sum(value for _, value in left_out),
                                             abs=1e-12)
        magnitudes = [abs(value) for _, value in every.words]
        assert magnitudes == sorted(magnitudes, reverse=True) and every.words[0][0] == "图表"
        assert opened.classify_many(["abc"])[0].explain(3).words == []
        with pytest.raises(wenlei.Error):
            pickle.loads(pickle.dumps(result)).explain(3)
        copies = [copy.deepcopy(result), dataclasses.asdict(result)]
        del copies  # the copies share the library's result: no second free
        assert result.explain(2).words == every.words[:2]
    # A result stays valid after its classifier is closed, as in C.
    assert result.explain(2).words == every.words[:2]


def test_arrays(classifier):
    numpy = pytest.importorskip("numpy")
    texts = ["插入图表", "abc", b"\xff", "用 Basic 编写宏"]
    results = classifier.classify_many(texts, errors="return")
    arrays = classifier.to_arrays(results)
    assert list(arrays.labels) == ["图表", None, None, "宏编程"]
    assert arrays.probabilities.shape == (4, len(classifier.classes))
    assert arrays.classes == classifier.classes
    assert arrays.probabilities[0, classifier.classes.index("图表")] == \
        results[0].probabilities["图表"]
    numpy.testing.assert_allclose(arrays.probabilities[[0, 3]].sum(axis=1), 1.0, atol=1e-6)
    assert not arrays.probabilities[1].any() and numpy.isnan(arrays.probabilities[2]).all()
    assert arrays.confidence[0] == results[0].confidence and numpy.isnan(arrays.confidence[2])


def test_utf8_bytes_and_str_agree(classifier):
    assert classifier.classify("插入图表".encode()) == classifier.classify("插入图表")


def test_classify_many_equals_one_by_one(classifier):
    texts = sample_sentences()[:60]
    assert classifier.classify_many(texts) == [classifier.classify(text) for text in texts]
    assert classifier.classify_many([]) == []


def test_classify_many_with_a_bad_document(classifier):
    texts = ["插入图表", b"\xff\xfe", "用 Basic 编写宏"]
    with pytest.raises(wenlei.DocumentError) as raised:
        classifier.classify_many(texts)
    assert raised.value.index == 1
    answers = classifier.classify_many(texts, errors="return")
    assert isinstance(answers[1], wenlei.DocumentError)
    assert [answers[0].answer, answers[2].answer] == ["图表", "宏编程"]


def test_classify_iter_takes_batches_as_it_is_consumed(classifier):
    texts = sample_sentences()[:10] + [b"\xff\xfe"] + ["用 Basic 编写宏"]
    taken = []

    def source():
        for text in texts:
            taken.append(text)
            yield text
    answers = classifier.classify_iter(source(), batch_size=4, errors="return")
    assert taken == []  # nothing is read before the first answer is asked for
    first = next(answers)
    assert len(taken) == 4 and first == classifier.classify(texts[0])
    rest = list(answers)
    assert rest[:9] == classifier.classify_many(texts[1:10])
    assert isinstance(rest[9], wenlei.DocumentError) and rest[9].index == 10  # in the whole input
    assert rest[10].answer == "宏编程"
    with pytest.raises(wenlei.DocumentError) as raised:
        list(classifier.classify_iter(iter(texts), batch_size=3))
    assert raised.value.index == 10
    assert list(classifier.classify_iter(texts[:5], batch_size=2, k=1)) == \
        classifier.classify_many(texts[:5], k=1)
    assert list(classifier.classify_iter(iter([]))) == []
    for arguments, error in [(("插入图表",), TypeError), ((texts, 0), ValueError),
                             ((texts, 2, "ignore"), ValueError), ((3,), TypeError)]:
        with pytest.raises(error):
            classifier.classify_iter(*arguments)  # refused before any is read


class _SourceBroke(Exception):
    pass


def test_classify_iter_gives_every_answer_before_a_failure(classifier):
    texts = sample_sentences()
    many = (texts * (1500 // len(texts) + 1))[:1500]

    def breaking():
        yield from many
        raise _SourceBroke("the source broke")
    # A source that raises: the answers of all it gave, then its exception.
    answers = []
    with pytest.raises(_SourceBroke):
        for answer in classifier.classify_iter(breaking()):
            answers.append(answer)
    assert answers == classifier.classify_many(many)

    # A bad item in the middle of a batch: the answers before it come out
    # first; with errors="return" it is an error in its place and the rest
    # follows.
    before, after = texts[:5], texts[5:8]
    for errors, bad, raised, status in [("raise", b"\xff\xfe", wenlei.DocumentError, None),
                                        ("raise", 3, TypeError, None),
                                        ("return", b"\xff\xfe", None, "bad encoding"),
                                        ("return", 3, None, "invalid argument")]:
        answers = []
        try:
            for answer in classifier.classify_iter(before + [bad] + after, batch_size=8, errors=errors):
                answers.append(answer)
        except Exception as failure:  # noqa: BLE001
            assert type(failure) is raised, (errors, bad, failure)
            assert getattr(failure, "index", 5) == 5
        else:
            assert raised is None, (errors, bad)
        assert answers[:5] == classifier.classify_many(before), (errors, bad)
        if status is not None:
            assert isinstance(answers[5], wenlei.DocumentError) and answers[5].index == 5
            assert answers[5].status_name == status
            assert answers[6:] == classifier.classify_many(after)
        else:
            assert len(answers) == 5


def test_segment():
    assert wenlei.segment("插入图表") == ["插入", "图表"]
    assert wenlei.segment("数据透视表") == ["数据", "透视", "表"]
    assert wenlei.segment("") == []


# ---- failures: always an exception, never the end of the interpreter ----

def _damage_model(directory):
    model = directory / "SVMModel"
    model.write_bytes(model.read_bytes()[: model.stat().st_size // 2])


def _damage_source(directory):
    (directory / "Source.dat").write_bytes(b"\x07\x00\x00\x00 not a resource file")


def _remove_model(directory):
    (directory / "SVMModel").unlink()


# A set with its metadata file is found changed by the digests before it is
# parsed; without one, the damage itself is found.
@pytest.mark.parametrize("damage, metadata, status", [
    (_damage_model, True, "mismatch"),
    (_damage_model, False, "corrupt"),
    (_damage_source, False, "corrupt"),
    (_remove_model, True, "not found"),
])
def test_damaged_resource_sets_raise(resource_copy, damage, metadata, status):
    if not metadata:
        (resource_copy / "Metadata.txt").unlink()
    damage(resource_copy)
    with pytest.raises(wenlei.ResourceError) as raised:
        wenlei.Classifier(resource_copy)
    assert raised.value.status_name == status
    assert raised.value.message


def test_missing_resource_set_raises(tmp_path):
    with pytest.raises(wenlei.ResourceError) as raised:
        wenlei.Classifier(tmp_path / "nowhere")
    assert raised.value.status_name == "not found"
    assert "nowhere" in str(raised.value)


def test_missing_dictionary_raises(tmp_path):
    with pytest.raises(wenlei.ResourceError):
        wenlei.segment("插入图表", dictionary=tmp_path / "no-dict.txt")


@pytest.mark.parametrize("call, error", [
    (lambda c: c.classify(b"\xc0\xaf"), wenlei.DocumentError),
    (lambda c: c.classify("\udc80"), wenlei.DocumentError),
    (lambda c: c.classify(12), TypeError),
    (lambda c: c.classify_words(["图表"], encoding="latin-1"), ValueError),
    (lambda c: c.classify_words(["😀"], encoding="gbk"), wenlei.DocumentError),
    (lambda c: c.classify_words([b"\xff\xff"], encoding="gbk"), wenlei.DocumentError),
    (lambda c: c.classify_many(["x"], errors="ignore"), ValueError),
    (lambda c: c.classify_many("插入图表"), TypeError),
    (lambda c: c.classify_many(b"abc"), TypeError),
    (lambda c: c.classify_many(["插入", 3]), TypeError),
    (lambda c: c.classify_many(["插入"], k=0), ValueError),
    (lambda c: c.classify_many(["插入"], k=1.5), TypeError),
    (lambda c: c.classify_words("插入图表"), TypeError),
    (lambda c: c.classify_words(b"ab", encoding="gbk"), TypeError),
    (lambda c: c.classify_words([2 ** 31]), TypeError),
    (lambda c: c.classify_words(["插入", None]), TypeError),
    (lambda c: c.classify_words(7), TypeError),
])
def test_bad_input_raises(classifier, call, error):
    with pytest.raises(error):
        call(classifier)


@pytest.mark.parametrize("threshold, error", [
    (float("nan"), ValueError), (-0.1, ValueError), (1.5, ValueError), (float("inf"), ValueError),
    ("0.5", TypeError),
])
def test_bad_min_confidence_raises(threshold, error):
    with pytest.raises(error):
        wenlei.Classifier(min_confidence=threshold)


def test_size_limit():
    with wenlei.Classifier(max_document_bytes=8) as small:
        assert small.classify("插入").answer  # 6 bytes
        with pytest.raises(wenlei.DocumentError) as raised:
            small.classify("插入图表")  # 12 bytes
        assert raised.value.status_name == "too large"


def test_random_bytes_never_end_the_interpreter(classifier):
    generator = random.Random(13)
    for _ in range(300):
        data = bytes(generator.randrange(256) for _ in range(generator.randrange(40)))
        try:
            result = classifier.classify(data)
            assert result.answer
        except wenlei.DocumentError as error:
            assert error.status_name == "bad encoding"


def test_closed_classifier_raises():
    opened = wenlei.Classifier()
    opened.close()
    opened.close()
    with pytest.raises(wenlei.ClosedError):
        opened.classify("插入图表")


def test_library_not_found_is_an_error(tmp_path):
    program = ("import sys, wenlei\n"
               "try:\n    wenlei.Classifier()\n"
               "except wenlei.LibraryNotFoundError as error:\n    print('raised', error)\n")
    run = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True,
                         cwd=str(tmp_path), env={"WENLEI_LIBRARY": str(tmp_path / "libnone.so"),
                                                 "PYTHONPATH": str(ROOT / "python")})
    assert run.returncode == 0, run.stderr
    assert run.stdout.startswith("raised") and "libnone.so" in run.stdout


# ---- sharing ----

def test_threads_share_one_classifier(classifier):
    texts = sample_sentences()[:80]
    expected = [classifier.classify(text).answer for text in texts]
    answers = {}

    def work(number):
        answers[number] = [classifier.classify(text).answer for text in texts]

    threads = [threading.Thread(target=work, args=(number,)) for number in range(6)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert answers == {number: expected for number in range(6)}


def test_pickles_by_resource_path(classifier, resource_copy):
    restored = pickle.loads(pickle.dumps(classifier))
    assert restored.resources == classifier.resources
    assert restored.classify("插入图表") == classifier.classify("插入图表")
    other = pickle.loads(pickle.dumps(wenlei.Classifier(resource_copy, min_confidence=0.99)))
    assert other.resources == str(resource_copy)
    assert other.min_confidence == 0.99


def test_status_names_are_the_librarys():
    library = ctypes.CDLL(wenlei.library_path())
    library.wenlei_status_name.restype = ctypes.c_char_p
    for status in range(1, 12):
        name = library.wenlei_status_name(status).decode()
        assert wenlei.Error("x", status).status_name == name


def test_errors_pickle():
    error = wenlei.DocumentError("not UTF-8", 6, 3)
    copy = pickle.loads(pickle.dumps(error))
    assert (type(copy), copy.message, copy.status, copy.index) == (wenlei.DocumentError, "not UTF-8", 6, 3)


def test_versions_agree():
    assert wenlei.__version__ == wenlei.library_version()


def test_bundled_set_is_found_from_the_library(classifier):
    info = classifier.info
    assert info["kernel"] == "linear" and info["classes"] == classifier.classes
    assert info["vocabulary_size"] >= info["feature_count"] > 0
    folder = Path(classifier.resources)
    assert (folder / "Source.dat").is_file() and (folder / "SVMModel").is_file()
    assert folder.name == BUNDLED.name


def test_a_resource_set_trained_here(tmp_path):
    """A set the trainer makes now: its classes, and answers equal to the exports'."""
    words = {"体育": "球队 比赛 进球 冠军 足球 篮球", "财经": "银行 利率 投资者 经济 股票 基金",
             "科技": "电脑 软件 芯片 网络 手机 程序"}
    generator = random.Random(7)
    lines = ["%s\t%s" % (name, " ".join(generator.choice(vocabulary.split()) for _ in range(6)))
             for _ in range(30) for name, vocabulary in words.items()]
    (tmp_path / "corpus.tsv").write_text("\n".join(lines) + "\n", encoding="utf-8")
    command = Path(wenlei.library_path()).parent / "wenlei"
    subprocess.run([str(command), "train", str(tmp_path / "corpus.tsv"), "-o", str(tmp_path / "set")],
                   check=True, capture_output=True)
    with wenlei.Classifier(tmp_path / "set") as trained:
        assert sorted(trained.classes) == sorted(words)
        for name, vocabulary in words.items():
            document = vocabulary.split()[:3]
            result = trained.classify_words(document)
            assert result.names == [name]
            gbk = [word.encode("gbk") for word in document]
            assert result.answer_gbk == exports_answer(tmp_path / "set", gbk)


@pytest.mark.parametrize("version, fits", [
    (wenlei.__version__, True), ("1.99.0", True), ("2.0.0", False), ("0.9.0", False), ("x", False),
])
def test_library_versions_the_package_takes(version, fits):
    from wenlei import _library
    assert (_library.version_problem(version) is None) == fits
