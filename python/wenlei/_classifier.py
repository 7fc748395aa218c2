"""Classifier, Result, Segmenter and segment(): the package's working parts."""

import collections.abc
import ctypes
import itertools
import math
import numbers
import os
import threading
import warnings
from contextlib import contextmanager
from dataclasses import dataclass, field
from typing import Dict, Iterable, Iterator, List, NamedTuple, Optional, Sequence, Tuple, Union

from . import _forksafe
from . import _library as native
from ._errors import (BAD_ENCODING, INVALID_ARGUMENT, NOT_FOUND, ClosedError, DocumentError, Error, ResourceError,
                      error_for_status)

Text = Union[str, bytes]
PathLike = Union[str, "os.PathLike[str]"]

_ENCODINGS = {"utf-8": native.UTF8, "utf8": native.UTF8, "gbk": native.GBK}


@dataclass(frozen=True)
class Result:
    """The classification of one document.

    ``label`` is the answer to count: the name of the most probable class,
    or None when the document is ``unknown`` (below the classifier's
    threshold) or has no known word at all.  ``answer`` is the text the
    exported C functions give for the same words: one class name, two joined
    by " or " when the runner-up is nearly as probable, or the fixed message
    for a document without known words; ``names`` holds the one or two names
    in it (none for that message).  ``probabilities`` maps every class name
    to its probability, highest first (empty when no prediction was made).
    ``words`` and ``known_words`` count the document's words and those the
    resource set knows; ``dropped_characters`` the characters GBK cannot
    hold.  ``confidence`` (0 to 1) and ``unknown`` come from the library.
    """

    answer: str
    names: List[str]
    probabilities: Dict[str, float]
    words: int
    known_words: int
    dropped_characters: int = 0
    confidence: float = 0.0
    unknown: bool = False
    answer_gbk: bytes = field(default=b"", repr=False)
    _native: Optional["_NativeResult"] = field(default=None, repr=False, compare=False)
    # (class number, probability) by rank: ``probabilities`` by number, as
    # two classes may show the same name.
    _ranked: Tuple[Tuple[int, float], ...] = field(default=(), repr=False, compare=False)

    def __getstate__(self):
        # A copy in another process has no classification to explain.
        state = dict(self.__dict__)
        state["_native"] = None
        return state

    def __setstate__(self, state) -> None:
        self.__dict__.update(state)

    def explain(self, n: Optional[int] = 10, content_only: bool = True) -> "Explanation":
        """The n content words (None: every known one) that contributed
        most to the decision between the answer and the runner-up, largest
        magnitude first.  A positive contribution speaks for the answer, a
        negative one for the runner-up; for a linear model they are exact:
        all of them plus ``rest`` make ``decision_value``.  The words that
        are not content words (those the confidence leaves out:
        punctuation, symbols, numbers) have their contributions in
        ``rest``, so the sum still holds; ``content_only=False`` lists
        every known word.  Raises wenlei.Error for a model of another
        kernel.  A result explains after its classifier is closed too."""
        limit = 0 if n is None else _count_argument("n", n)
        if self._native is None:
            raise Error("this result has no classification to explain in this process "
                        "(it was unpickled)", INVALID_ARGUMENT)
        return self._native.explain(limit, self.probabilities, bool(content_only))

    @property
    def label(self) -> Optional[str]:
        """The most probable class's name; None when unknown or without a known word."""
        if self.unknown or not self.names:
            return None
        return self.names[0]

    def top(self, k: int) -> List[Tuple[str, float]]:
        """The k most probable classes as (name, probability) pairs, highest
        first; fewer when the set has fewer classes, none without a prediction."""
        k = _count_argument("k", k)
        return list(self.probabilities.items())[:k]

    def as_dict(self) -> dict:
        """The result as plain data (for JSON)."""
        return {
            "label": self.label,
            "answer": self.answer,
            "names": list(self.names),
            "probabilities": dict(self.probabilities),
            "words": self.words,
            "known_words": self.known_words,
            "dropped_characters": self.dropped_characters,
            "confidence": self.confidence,
            "unknown": self.unknown,
        }


def _count_argument(name: str, value) -> int:
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError("%s is a whole number, not %r" % (name, value))
    if value < 1:
        raise ValueError("%s is 1 or more, not %r" % (name, value))
    return int(value)


@dataclass(frozen=True)
class Explanation:
    """Result.explain: the words behind the decision between the answer and
    the runner-up, as (word, contribution) pairs, largest magnitude first;
    iterating it (and len) goes over those pairs.  ``rest`` is the part of
    ``decision_value`` that no listed word carries."""

    words: List[Tuple[str, float]]
    rest: float
    decision_value: float
    answer: Optional[str]
    runner_up: Optional[str]

    def __iter__(self) -> Iterator[Tuple[str, float]]:
        return iter(self.words)

    def __len__(self) -> int:
        return len(self.words)


# WENLEI_EXPLAIN_CONTENT_WORDS of <wenlei/wenlei.h>.
_CONTENT_WORDS = 1

# The library keeps a result's explanation in the result: one at a time.
_explanation_lock = _forksafe.Lock()


class _NativeResult:
    """Owns the library's result of a classification, for explanations;
    keeps its classifier from closing while one is being made."""

    def __init__(self, handle: int, classifier: "Classifier") -> None:
        self._handle = handle
        self._classifier = classifier

    def explain(self, limit: int, probabilities: Dict[str, float], content_only: bool) -> Explanation:
        lib = native.library()
        message = ctypes.c_void_p()
        if content_only and not native.has("wenlei_result_explain_flags"):
            raise Error("the loaded libwenlei (%s) cannot explain by content words"
                        % native.library_path(), INVALID_ARGUMENT)
        # The library's result holds what it explains with, its classifier
        # closed or not.
        with _explanation_lock:
            if content_only:
                status = lib.wenlei_result_explain_flags(self._handle, limit, _CONTENT_WORDS,
                                                         ctypes.byref(message))
            else:
                status = lib.wenlei_result_explain(self._handle, limit, ctypes.byref(message))
            native.check(status, message)
            words = [(native.text(lib.wenlei_result_explanation_word(self._handle, index)),
                      lib.wenlei_result_explanation_contribution(self._handle, index))
                     for index in range(lib.wenlei_result_explanation_count(self._handle))]
            rest = lib.wenlei_result_explanation_rest(self._handle)
            decision = lib.wenlei_result_decision_value(self._handle)
        ranked = list(probabilities) + [None, None]
        return Explanation(words, rest, decision, ranked[0], ranked[1])

    # One owner per library result: copies share it (deepcopy and
    # dataclasses.asdict of a Result included), and it never pickles.
    def __copy__(self) -> "_NativeResult":
        return self

    def __deepcopy__(self, memo) -> "_NativeResult":
        return self

    def __reduce__(self):
        raise TypeError("a classification's library result does not pickle")

    def __del__(self) -> None:
        try:
            native.library().wenlei_result_free(self._handle)
        except Exception:  # interpreter shutdown: nothing left to free with
            pass


def _read_result(lib: ctypes.CDLL, handle: int, owner: Optional["Classifier"] = None) -> Result:
    names = [native.text(lib.wenlei_result_name(handle, i))
             for i in range(lib.wenlei_result_name_count(handle))]
    probabilities = {}
    ranked = []
    for rank in range(lib.wenlei_result_class_count(handle)):
        probability = lib.wenlei_result_probability(handle, rank)
        probabilities[native.text(lib.wenlei_result_class_name(handle, rank))] = probability
        ranked.append((lib.wenlei_result_class_number(handle, rank), probability))
    return Result(
        answer=native.text(lib.wenlei_result_answer(handle)),
        names=names,
        probabilities=probabilities,
        words=lib.wenlei_result_words(handle),
        known_words=lib.wenlei_result_known_words(handle),
        dropped_characters=lib.wenlei_result_dropped_characters(handle),
        confidence=lib.wenlei_result_confidence(handle),
        unknown=bool(lib.wenlei_result_unknown(handle)),
        answer_gbk=lib.wenlei_result_answer_gbk(handle) or b"",
        _native=None if owner is None else _NativeResult(handle, owner),
        _ranked=tuple(ranked),
    )


def _take_result(lib: ctypes.CDLL, handle: ctypes.c_void_p, owner: "Classifier") -> Result:
    """The Result of a fresh library result, which it then owns."""
    try:
        return _read_result(lib, handle.value, owner)
    except BaseException:
        lib.wenlei_result_free(handle.value)
        raise


_BYTES = (bytes, bytearray, memoryview)


def _utf8(text: Text) -> bytes:
    """UTF-8 bytes of a text; bytes pass unchanged (the library checks them).

    A str with lone surrogates is passed on as such, so that the library
    refuses it with its own message rather than Python with another.
    """
    if isinstance(text, str):
        return text.encode("utf-8", "surrogatepass")
    if isinstance(text, _BYTES):
        return bytes(text)
    raise TypeError("a document is str or bytes, not %s" % type(text).__name__)


def _sequence_of_texts(items, what: str) -> list:
    """The items of an iterable of texts; a lone str or bytes is refused, as
    iterating it would give characters (or integers), not texts."""
    if isinstance(items, (str,) + _BYTES):
        raise TypeError("%s takes a list (or other iterable) of %s, not a single %s"
                        % (what, "words" if what == "classify_words" else "texts",
                           type(items).__name__))
    if not isinstance(items, collections.abc.Iterable):
        raise TypeError("%s takes an iterable, not %s" % (what, type(items).__name__))
    return list(items)


def _take_texts(texts: Iterator[Text], count: int, errors: str,
                first: int) -> Tuple[List[Union[bytes, Error]], Optional[Exception]]:
    """Up to count texts from the source as UTF-8 bytes, the first being
    document first of the input, and the exception that ended the taking
    early: the source's own, or with errors="raise" the TypeError of an
    item that is no text (with errors="return" that item is taken as its
    DocumentError)."""
    taken: List[Union[bytes, Error]] = []
    while len(taken) < count:
        try:
            text = next(texts)
        except StopIteration:
            break
        except Exception as failure:  # noqa: BLE001 -- raised after the answers
            return taken, failure
        try:
            taken.append(_utf8(text))
        except TypeError as refused:
            if errors == "raise":
                return taken, refused
            taken.append(DocumentError(str(refused), INVALID_ARGUMENT, first + len(taken)))
    return taken, None


def _shaped(answer: Union["Result", Error], k: Optional[int]):
    """An answer as classify_many gives it: with k, a Result's top k."""
    return answer if k is None or isinstance(answer, Error) else answer.top(k)


def _batch_arguments(errors: str, k) -> Optional[int]:
    """Checks classify_many's errors and k; gives k as a whole number."""
    if errors not in ("raise", "return"):
        raise ValueError("errors is 'raise' or 'return', not %r" % errors)
    return None if k is None else _count_argument("k", k)


def _min_confidence_argument(value) -> Optional[float]:
    """None (the set's own threshold) or a number from 0 to 1."""
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError("min_confidence is a number from 0 to 1, or None, not %r" % (value,))
    value = float(value)
    if math.isnan(value) or not 0.0 <= value <= 1.0:
        raise ValueError("min_confidence is from 0 to 1 (or None for the set's own), not %r" % value)
    return value


def _byte_arrays(items: Sequence[bytes]) -> Tuple[ctypes.Array, ctypes.Array]:
    pointers = (ctypes.c_char_p * max(len(items), 1))(*items)
    lengths = (ctypes.c_size_t * max(len(items), 1))(*[len(item) for item in items])
    return pointers, lengths


def _word_bytes(word, encoding: str, code: int) -> bytes:
    if isinstance(word, str):
        return word.encode(encoding, "surrogatepass" if code == native.UTF8 else "strict")
    if isinstance(word, _BYTES):
        return bytes(word)
    raise TypeError("a word is str or bytes, not %s" % type(word).__name__)


class _Gate:
    """Lets any number of calls run at once, and close() wait for them."""

    def __init__(self) -> None:
        self._condition = threading.Condition()
        self._running = 0
        self._closed = False
        _forksafe.renew_after_fork(self)

    def _after_fork(self) -> None:
        # The calls that were running belong to threads the child lacks.
        self._condition = threading.Condition()
        self._running = 0

    @contextmanager
    def open(self) -> Iterator[None]:
        with self._condition:
            if self._closed:
                raise ClosedError("the classifier is closed")
            self._running += 1
        try:
            yield
        finally:
            with self._condition:
                self._running -= 1
                if self._running == 0:
                    self._condition.notify_all()

    def close(self) -> bool:
        """True for the first call, once no call is running any more."""
        with self._condition:
            if self._closed:
                return False
            self._closed = True
            while self._running:
                self._condition.wait()
            return True


class Arrays(NamedTuple):
    """Classifier.to_arrays: labels, probabilities and confidence as arrays."""

    labels: "numpy.ndarray"
    probabilities: "numpy.ndarray"
    confidence: "numpy.ndarray"
    classes: List[str]


def _path_argument(path: Optional[PathLike]) -> Optional[str]:
    return None if path is None else os.path.abspath(os.fspath(path))


class Classifier:
    """An open resource set (Source.dat, SVMModel): classifies documents.

    ``resources`` is the resource set's directory; None opens the bundled
    set installed with the library.  ``dictionary`` is the segmentation
    dictionary for text (None: the bundled one); ``min_confidence`` the
    threshold below which an answer is flagged ``unknown`` (None: the one
    stored with the resource set); ``max_document_bytes`` the largest
    document accepted (None: the library's default, 0: no limit).

    The resource set is read and checked once, here; failures raise
    wenlei.ResourceError with the library's message.  A set trained from
    raw text records the dictionary it was cut with: another one here
    works, with a UserWarning (once per set and dictionary).  A Classifier may be
    used by any number of threads at once, and pickles by its paths, so a
    copy can be sent to worker processes, which open the set themselves.
    """

    def __init__(self, resources: Optional[PathLike] = None, *,
                 dictionary: Optional[PathLike] = None,
                 min_confidence: Optional[float] = None,
                 max_document_bytes: Optional[int] = None) -> None:
        self._handle: Optional[int] = None
        self._gate = _Gate()
        min_confidence = _min_confidence_argument(min_confidence)
        self._arguments = (_path_argument(resources), _path_argument(dictionary),
                           min_confidence, max_document_bytes)
        lib = native.library()
        directory = self._arguments[0]
        if directory is None:
            bundled = lib.wenlei_default_resources()
            if not bundled:
                raise ResourceError("no bundled resource set was installed with the library "
                                    "(%s); name a resource set directory" % native.library_path(),
                                    NOT_FOUND)
            directory = bundled.decode("utf-8", "surrogateescape")
        self._resources = directory
        options = lib.wenlei_options_create()
        if not options:
            raise MemoryError("wenlei: no memory for the options")
        try:
            if dictionary is not None:
                lib.wenlei_options_set_dictionary(options, os.fsencode(self._arguments[1]))
            if min_confidence is not None:
                lib.wenlei_options_set_min_confidence(options, min_confidence)
            if max_document_bytes is not None:
                if max_document_bytes < 0:
                    raise ValueError("max_document_bytes is 0 (no limit) or more")
                lib.wenlei_options_set_max_document_bytes(options, int(max_document_bytes))
            handle = ctypes.c_void_p()
            message = ctypes.c_void_p()
            status = lib.wenlei_open(os.fsencode(directory), options,
                                     ctypes.byref(handle), ctypes.byref(message))
            native.check(status, message)
        finally:
            lib.wenlei_options_destroy(options)
        self._handle = handle.value
        self._classes = [native.text(lib.wenlei_class_name(self._handle, number))
                         for number in range(1, lib.wenlei_class_count(self._handle) + 1)]
        self._labels = list(self._classes)
        if native.has("wenlei_class_label"):
            self._labels = [native.text(lib.wenlei_class_label(self._handle, number))
                            for number in range(1, len(self._classes) + 1)]
        self._warning = None
        if native.has("wenlei_warning"):
            warning = lib.wenlei_warning(self._handle)
            self._warning = None if warning is None else native.text(warning)
        _warn_once(self._warning)

    # ---- what it is ----

    @property
    def resources(self) -> str:
        """The resource set's directory."""
        return self._resources

    @property
    def classes(self) -> List[str]:
        """The class names, by class number 1, 2, ..."""
        return list(self._classes)

    @property
    def class_labels(self) -> List[str]:
        """The class names as the set was trained with them, by class number:
        a training label's text, tag included ("1 Sports" where ``classes``
        holds "Sports")."""
        return list(self._labels)

    @property
    def min_confidence(self) -> float:
        """The threshold in force for ``Result.unknown``."""
        with self._gate.open():
            return native.library().wenlei_min_confidence(self._handle)

    @property
    def info(self) -> dict:
        """What the resource set is: its classes, the words its vocabulary
        knows, the features the model reads, the model's kernel, how it was
        trained (None when the set does not say; with the digest of the
        dictionary it was trained with, and of the one in use when they
        differ), the threshold in force and the warning of opening it (a
        dictionary other than the set was trained with), or None."""
        lib = native.library()
        with self._gate.open():
            trained = lib.wenlei_trained_with(self._handle)
            return {
                "classes": list(self._classes),
                "vocabulary_size": lib.wenlei_vocabulary_size(self._handle),
                "feature_count": lib.wenlei_feature_count(self._handle),
                "kernel": native.text(lib.wenlei_kernel(self._handle)),
                "trained_with": None if trained is None else native.text(trained),
                "min_confidence": lib.wenlei_min_confidence(self._handle),
                "warning": self._warning,
            }

    def __repr__(self) -> str:
        return "wenlei.Classifier(%r)" % self._resources

    # ---- classification ----

    def classify(self, text: Text) -> Result:
        """Segments UTF-8 text (str, or bytes in UTF-8) and classifies it.

        Raises wenlei.DocumentError for bytes that are not UTF-8 or a
        document over the size limit.
        """
        data = _utf8(text)
        lib = native.library()
        result = ctypes.c_void_p()
        message = ctypes.c_void_p()
        with self._gate.open():
            status = lib.wenlei_classify_text(self._handle, data, len(data),
                                              ctypes.byref(result), ctypes.byref(message))
        native.check(status, message)
        return _take_result(lib, result, self)

    def classify_words(self, words: Iterable[Text], encoding: str = "utf-8") -> Result:
        """Classifies a document already segmented into words.

        ``words`` is a list (or other iterable) of words, each a str,
        encoded here in ``encoding`` ("utf-8" or "gbk"), or bytes (bytearray,
        memoryview) already in it.  With "gbk" the bytes are exactly what a
        host hands the exported functions.  A single str or bytes, or a word
        of any other type (an int, None), raises TypeError.
        """
        code = _ENCODINGS.get(encoding.lower().replace("_", "-"))
        if code is None:
            raise ValueError("encoding is 'utf-8' or 'gbk', not %r" % encoding)
        try:
            items = [_word_bytes(word, encoding, code)
                     for word in _sequence_of_texts(words, "classify_words")]
        except UnicodeEncodeError as error:
            raise DocumentError("a word cannot be written in %s: %s" % (encoding, error),
                                BAD_ENCODING) from None
        pointers, lengths = _byte_arrays(items)
        lib = native.library()
        result = ctypes.c_void_p()
        message = ctypes.c_void_p()
        with self._gate.open():
            status = lib.wenlei_classify_words(self._handle, pointers, lengths, len(items), code,
                                               ctypes.byref(result), ctypes.byref(message))
        native.check(status, message)
        return _take_result(lib, result, self)

    def _rankings(self, documents: List[bytes]) -> List[Tuple[Tuple[int, float], ...]]:
        """Each document's (class number, probability) pairs, highest
        first, for documents given as UTF-8 words joined by spaces: the
        estimator's lean road, with no Result made."""
        lib = native.library()
        return self._each_result(documents, lambda result: tuple(
            (lib.wenlei_result_class_number(result, rank), lib.wenlei_result_probability(result, rank))
            for rank in range(lib.wenlei_result_class_count(result))))

    def _margins(self, documents: List[bytes]) -> List[Tuple[float, ...]]:
        """Each document's margins by class number (1, 2, ...), empty for a
        document without a prediction; documents as for _rankings."""
        lib = native.library()
        numbers = range(1, lib.wenlei_class_count(self._handle) + 1)
        return self._each_result(documents, lambda result: tuple(
            lib.wenlei_result_margin(result, number) for number in numbers)
            if lib.wenlei_result_class_count(result) else ())

    def _each_result(self, documents: List[bytes], read) -> list:
        """read(result) of each document given as UTF-8 words joined by
        spaces.  The words of all documents lie in one buffer that numpy
        points into."""
        import numpy
        words = [word for document in documents for word in document.split(b" ") if word]
        counts = [sum(1 for word in document.split(b" ") if word) for document in documents]
        blob = numpy.frombuffer(b"".join(words) or b"\0", dtype=numpy.uint8)
        lengths = numpy.array([len(word) for word in words] or [0], dtype=numpy.uintp)
        pointers = (blob.ctypes.data + numpy.concatenate(([0], numpy.cumsum(lengths)[:-1]))
                    ).astype(numpy.uintp)
        lib = native.library()
        found = []
        start = 0
        with self._gate.open():
            for count in counts:
                result = ctypes.c_void_p()
                message = ctypes.c_void_p()
                status = lib.wenlei_classify_words(
                    self._handle,
                    ctypes.cast(pointers.ctypes.data + pointers.itemsize * start, native.CHAR_POINTERS),
                    ctypes.cast(lengths.ctypes.data + lengths.itemsize * start, native.SIZES),
                    count, native.UTF8,
                    ctypes.byref(result), ctypes.byref(message))
                native.check(status, message)
                start += count
                try:
                    found.append(read(result))
                finally:
                    lib.wenlei_result_free(result)
        return found

    def classify_many(self, texts: Iterable[Text], errors: str = "raise",
                      k: Optional[int] = None) -> list:
        """Classifies many UTF-8 texts with one call into the library.

        ``texts`` is a list (or other iterable) of str or UTF-8 bytes; a
        single str or bytes, or an item of any other type, raises TypeError.
        Returns the Results in order, or with ``k`` each document's k most
        probable classes as (name, probability) pairs (see Result.top).  A
        document that cannot be classified raises wenlei.DocumentError
        naming its index (``errors="raise"``), or leaves that error in its
        place in the list (``errors="return"``).
        """
        k = _batch_arguments(errors, k)
        items = [_utf8(text) for text in _sequence_of_texts(texts, "classify_many")]
        answers = self._answers(items, range(len(items)))
        if errors == "raise":
            for answer in answers:
                if isinstance(answer, Error):
                    raise answer
        return [_shaped(answer, k) for answer in answers]

    def classify_iter(self, texts: Iterable[Text], batch_size: int = 1024, errors: str = "raise",
                      k: Optional[int] = None) -> Iterator[Union[Result, List[Tuple[str, float]], Error]]:
        """classify_many over any iterable, as an iterator: takes
        ``batch_size`` texts at a time, classifies them with one call into
        the library and gives their answers one by one before taking the
        next batch, so that memory holds one batch, not the whole input (a
        generator, a file's lines, a database cursor).  The texts are read
        as the iterator is consumed.

        No answer is given up: every document before a failure is answered
        first.  A source that raises (an Exception) has the answers of all
        it gave yielded, then its exception raised.  With ``errors="raise"``
        the answers before a document that cannot be classified come out,
        then its DocumentError (naming its index in the whole input), or a
        TypeError for an item that is no text.  With ``errors="return"``
        either takes its place as an error in the stream, which goes on: a
        DocumentError, with the status "invalid argument" for an item that
        is no text.  ``k`` as classify_many."""
        batch_size = _count_argument("batch_size", batch_size)
        k = _batch_arguments(errors, k)
        if isinstance(texts, (str,) + _BYTES):
            _sequence_of_texts(texts, "classify_iter")  # raises TypeError
        if not isinstance(texts, collections.abc.Iterable):
            raise TypeError("classify_iter takes an iterable, not %s" % type(texts).__name__)
        return self._classify_batches(iter(texts), batch_size, errors, k)

    def _classify_batches(self, texts: Iterator[Text], batch_size: int, errors: str,
                          k: Optional[int]) -> Iterator[Union[Result, List[Tuple[str, float]], Error]]:
        first = 0
        while True:
            taken, failure = _take_texts(texts, batch_size, errors, first)
            documents = [index for index, item in enumerate(taken) if isinstance(item, bytes)]
            answers = iter(self._answers([taken[i] for i in documents], [first + i for i in documents]))
            for item in taken:
                answer = next(answers) if isinstance(item, bytes) else item
                if errors == "raise" and isinstance(answer, Error):
                    raise answer
                yield _shaped(answer, k)
            if failure is not None:
                raise failure
            if len(taken) < batch_size:
                return
            first += len(taken)

    def _answers(self, items: List[bytes], indexes: Sequence[int]) -> List[Union[Result, Error]]:
        """Each text's Result, or the Error of a document the library cannot
        classify, from one call into the library; indexes[i] is the
        position of items[i] in the caller's input."""
        if not items:
            return []
        pointers, lengths = _byte_arrays(items)
        handles = (ctypes.c_void_p * len(items))()
        lib = native.library()
        message = ctypes.c_void_p()
        with self._gate.open():
            status = lib.wenlei_classify_batch(self._handle, pointers, lengths, len(items),
                                               handles, ctypes.byref(message))
        native.check(status, message)
        answers: List[Union[Result, Error]] = []
        taken = 0  # handles from here on are still to free on a failure
        try:
            for index, handle in enumerate(handles):
                document_status = lib.wenlei_result_status(handle)
                if document_status == native.OK:
                    answers.append(_read_result(lib, handle, self))
                else:
                    answers.append(error_for_status(
                        document_status, native.text(lib.wenlei_result_error(handle)),
                        indexes[index]))
                    lib.wenlei_result_free(handle)
                taken = index + 1
        finally:
            for handle in handles[taken:]:
                lib.wenlei_result_free(handle)
        return answers

    def to_arrays(self, results: Iterable[Union[Result, Error]]) -> "Arrays":
        """numpy arrays of results of this classifier (numpy is needed here
        only): ``labels`` (object array of Result.label: a name or None),
        ``probabilities`` (documents x classes, columns in the order of
        ``classes``; a row of zeros without a prediction) and ``confidence``.
        An error left in place by errors="return" gives None, a row of NaN
        and NaN."""
        import numpy
        results = list(results)
        labels = numpy.empty(len(results), dtype=object)
        probabilities = numpy.zeros((len(results), len(self._classes)))
        confidence = numpy.empty(len(results))
        for row, result in enumerate(results):
            if isinstance(result, Error):
                probabilities[row] = confidence[row] = numpy.nan
                continue
            labels[row] = result.label
            confidence[row] = result.confidence
            for number, probability in result._ranked:
                probabilities[row, number - 1] = probability
        return Arrays(labels, probabilities, confidence, list(self._classes))

    # ---- life ----

    def close(self) -> None:
        """Frees the resource set once running calls have finished; later
        calls raise wenlei.ClosedError.  Closing twice does nothing."""
        if self._handle is not None and self._gate.close():
            native.library().wenlei_close(self._handle)

    def __enter__(self) -> "Classifier":
        return self

    def __exit__(self, *exception) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:  # interpreter shutdown: nothing left to free with
            pass

    def __reduce__(self):
        return (_reopen, self._arguments)


_warned = set()
_warned_lock = _forksafe.Lock()


def _warn_once(message: Optional[str]) -> None:
    """The library's warning of an opening as a UserWarning, once per
    process for each set and dictionary (the message names both)."""
    if message is None:
        return
    with _warned_lock:
        if message in _warned:
            return
        _warned.add(message)
    warnings.warn("wenlei: " + message, UserWarning, stacklevel=3)


def _reopen(resources, dictionary, min_confidence, max_document_bytes) -> Classifier:
    return Classifier(resources, dictionary=dictionary, min_confidence=min_confidence,
                      max_document_bytes=max_document_bytes)


class Segmenter:
    """The dictionary-based segmenter text classification uses.

    ``dictionary`` is a dictionary in jieba's dict.txt format; None loads
    the one installed with the library.  Safe to share between threads.
    """

    def __init__(self, dictionary: Optional[PathLike] = None) -> None:
        self._handle: Optional[int] = None
        self._dictionary = _path_argument(dictionary)
        lib = native.library()
        handle = ctypes.c_void_p()
        message = ctypes.c_void_p()
        path = None if self._dictionary is None else os.fsencode(self._dictionary)
        native.check(lib.wenlei_segmenter_open(path, ctypes.byref(handle), ctypes.byref(message)),
                     message)
        self._handle = handle.value

    def segment(self, text: Text) -> List[str]:
        """The words of a UTF-8 text, as classification sees them."""
        data = _utf8(text)
        lib = native.library()
        words = ctypes.c_void_p()
        message = ctypes.c_void_p()
        native.check(lib.wenlei_segment(self._handle, data, len(data), ctypes.byref(words),
                                        ctypes.byref(message)), message)
        try:
            length = ctypes.c_size_t()
            found = []
            for index in range(lib.wenlei_words_count(words.value)):
                address = lib.wenlei_words_at(words.value, index, ctypes.byref(length))
                found.append(ctypes.string_at(address, length.value).decode("utf-8", "replace"))
            return found
        finally:
            lib.wenlei_words_free(words.value)

    def __del__(self) -> None:
        try:
            if self._handle is not None:
                native.library().wenlei_segmenter_close(self._handle)
                self._handle = None
        except Exception:
            pass

    def __reduce__(self):
        return (Segmenter, (self._dictionary,))


_segmenters: Dict[Optional[str], Segmenter] = {}
_segmenters_lock = _forksafe.Lock()


def segment(text: Text, dictionary: Optional[PathLike] = None) -> List[str]:
    """Splits UTF-8 text into words with the bundled dictionary (or the one
    named), exactly as text classification does.  The dictionary is loaded
    once per process."""
    key = _path_argument(dictionary)
    with _segmenters_lock:
        segmenter = _segmenters.get(key)
        if segmenter is None:
            segmenter = _segmenters[key] = Segmenter(key)
    return segmenter.segment(text)
