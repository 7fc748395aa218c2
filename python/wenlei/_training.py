"""wenlei.train(): a resource set from a corpus file or from texts and labels."""

import collections.abc
import ctypes
import numbers
import os
import signal
import sys
import threading
import time
import warnings
from typing import Callable, Dict, Optional, Sequence, Tuple, Union

from . import _library as native
from ._classifier import PathLike, Text, _sequence_of_texts, _utf8
from ._errors import INTERNAL, Error

# stage, done, total -> a true value stops the training.
ProgressCallback = Callable[[str, float, float], Optional[bool]]



def option_text(value) -> str:
    """An option's value as the training entry reads it."""
    if isinstance(value, bool):
        return "1" if value else "0"
    if isinstance(value, (list, tuple)):
        return ",".join(option_text(item) for item in value)
    if isinstance(value, os.PathLike):
        return os.fspath(value)
    return str(value)


class ProgressBar:
    """The default progress display on standard error.  On a terminal: one
    line per stage, rewritten in place as the stage goes on and shown full
    once the next stage (or the end) shows it done.  Elsewhere (a log file,
    a notebook's captured stream): a plain line with the time since the
    start, at most every ``interval`` seconds, as `wenlei train` writes
    them, and the last stage's end."""

    def __init__(self, stream=None, interval: float = 5.0, clock=time.monotonic) -> None:
        self._stream = stream or sys.stderr
        try:
            self._terminal = bool(self._stream.isatty())
        except (AttributeError, ValueError):
            self._terminal = False
        self._interval = interval
        self._clock = clock
        self._start = clock()
        self._last_line: Optional[float] = None
        self._latest_shown = False
        self._stage = None
        self._done = 0.0
        self._total = 0.0

    def _text(self, done: float) -> str:
        share = done / self._total if self._total > 0 else 1.0
        return "%s: %3d%% (%g of %g)" % (self._stage, round(100 * share), done, self._total)

    def _show(self, done: float) -> None:
        self._stream.write("\r" + self._text(done))
        self._stream.flush()

    def _line(self) -> None:
        now = self._clock()
        self._stream.write("wenlei train: [%5.0fs] %s\n" % (now - self._start, self._text(self._done)))
        self._stream.flush()
        self._last_line = now
        self._latest_shown = True

    def __call__(self, stage: str, done: float, total: float) -> None:
        if not self._terminal:
            self._stage, self._done, self._total = stage, done, total
            self._latest_shown = False
            if self._last_line is None or self._clock() - self._last_line >= self._interval:
                self._line()
            return
        if stage != self._stage:
            self.close(finished=True)
        self._stage, self._total = stage, total
        self._show(done)

    def close(self, finished: bool) -> None:
        if self._stage is None:
            return
        if not self._terminal:
            if finished and not (self._latest_shown and self._done == self._total):
                self._done = self._total
                self._line()
        else:
            if finished:
                self._show(self._total)
            self._stream.write("\n")
            self._stream.flush()
        self._stage = None


class _Options:
    """wenlei_train_options with the caller's options and progress, for one call."""

    def __init__(self, options: list, progress) -> None:
        self._lib = native.library()
        if not native.has("wenlei_train_texts"):
            raise Error("the loaded libwenlei (%s) has no training entry" % native.library_path(),
                        INTERNAL)
        self._handle = self._lib.wenlei_train_options_create()
        if not self._handle:
            raise MemoryError("wenlei: no memory for the training options")
        self._progress = ProgressBar() if progress is True else progress
        self._failure: Optional[BaseException] = None
        self._interrupted = False
        self._callback = native.PROGRESS_CALLBACK(self._report)  # kept alive for the call
        try:
            for name, value in options:
                if value is None:
                    continue
                message = ctypes.c_void_p()
                status = self._lib.wenlei_train_options_set(
                    self._handle, name.replace("_", "-").encode(), option_text(value).encode("utf-8"),
                    ctypes.byref(message))
                if status != native.OK:
                    text = native.take_message(message) or native.status_name(status)
                    raise ValueError("training option %s=%r: %s" % (name, value, text))
            # Always called back, so that Ctrl-C is seen between units of work.
            self._lib.wenlei_train_options_set_progress(self._handle, self._callback, None)
        except BaseException:
            self.close()
            raise

    def _report(self, context, stage, done, total) -> int:
        try:
            # Runs the handlers of signals that came while the library worked.
            ctypes.pythonapi.PyErr_CheckSignals()
            if self._interrupted:
                return 1
            if self._progress:
                return 1 if self._progress(native.text(stage), done, total) else 0
            return 0
        except BaseException as error:  # raised again once the library has stopped
            self._failure = error
            return 1

    def _interrupt(self, signum, frame) -> None:
        self._interrupted = True

    def run(self, call) -> None:
        """Calls call(options handle, message) and raises its failure: the
        callback's own exception first, else the library's error."""
        message = ctypes.c_void_p()
        status = INTERNAL
        # Ctrl-C only marks the run as interrupted while the library works:
        # the training stops at its next unit, removes what it wrote, and
        # KeyboardInterrupt is raised here, never inside a callback.
        previous = None
        if (threading.current_thread() is threading.main_thread()
                and signal.getsignal(signal.SIGINT) is signal.default_int_handler):
            previous = signal.signal(signal.SIGINT, self._interrupt)
        try:
            status = call(self._handle, ctypes.byref(message))
        finally:
            if previous is not None:
                signal.signal(signal.SIGINT, previous)
            if isinstance(self._progress, ProgressBar):
                self._progress.close(finished=status == native.OK)
        if self._interrupted:
            native.take_message(message)
            raise KeyboardInterrupt
        if self._failure is not None:
            native.take_message(message)
            raise self._failure
        native.check(status, message)

    def close(self) -> None:
        if self._handle:
            self._lib.wenlei_train_options_destroy(self._handle)
            self._handle = None


def training_options() -> Dict[str, str]:
    """The library's training options, named with underscores for dashes,
    each with its default as text ("" when it is not a value), in the order
    `wenlei train --help` lists them."""
    lib = native.library()
    if not native.has("wenlei_train_option_name"):
        raise Error("the loaded libwenlei (%s) does not list its training options"
                    % native.library_path(), INTERNAL)
    options = {}
    index = 0
    while (name := lib.wenlei_train_option_name(index)) is not None:
        options[name.decode().replace("-", "_")] = lib.wenlei_train_option_default(index).decode()
        index += 1
    return options


def train(data: Union[PathLike, Tuple[Sequence[Text], Sequence[str]]], output_dir: PathLike, *,
          progress: Union[None, bool, ProgressCallback] = None, client=None, **options) -> str:
    """Trains a resource set into ``output_dir`` and returns its path.

    ``data`` is a corpus file in the format `wenlei train` reads (a class
    name, a tab, the document's raw text or its words separated by spaces,
    told apart by the corpus's look unless ``raw=True`` or
    ``segmented=True`` says), or a pair (texts, labels): texts as str or
    UTF-8 bytes, segmented inside as classification segments them, and
    their class names.

    ``options`` are the `wenlei train` command's long options, underscores
    for dashes: ``kernel="linear"``, ``cost=[1, 4]``, ``min_df=2``,
    ``folds=5``, ``seed=1``, ``force=True`` (replace a set the directory
    holds), ``dictionary=path``, ...; a list gives comma-separated
    candidates, True and False give flags.  An unknown option or a bad value
    raises ValueError.  scikit-learn's names are taken too: ``n_jobs`` (for
    ``jobs``; -1 every processor) and ``class_weight``: 'balanced' (as
    ``class_weights=1``), a dict from class name to a factor of its cost
    (the command's ``--class-weight NAME=F``), or an exponent as
    ``class_weights`` takes it.

    ``progress`` is True for a progress line on standard error, or a
    function (stage, done, total) called as training goes on; when it
    returns a true value training stops, leaving ``output_dir`` as it was,
    and wenlei.CancelledError is raised (an exception it raises stops
    training the same way and is raised again here).  Ctrl-C stops training
    the same way, with or without ``progress``, and raises KeyboardInterrupt.

    A class name may hold no control character (tab, line end, NUL, ...)
    and may not start or end with white space: ValueError.  Another training
    writing ``output_dir`` at the same time makes this one fail at once.

    ``client``, a Dask ``distributed.Client``, runs the cross-validated
    search on the cluster's workers in ``shares`` tasks (default: one per
    worker thread) and the rest here (see docs/python.md): the set written
    is the one this process alone writes, byte for byte.
    """
    if client is not None:
        from ._search_shares import train_on_cluster
        return train_on_cluster(client, data, output_dir, progress, options)
    if options.get("dictionary") is not None:
        options["dictionary"] = os.path.abspath(os.fspath(options["dictionary"]))
    return train_with(data, output_dir, progress, option_list(options),
                      told=bool(options.get("raw") or options.get("segmented")))


def train_with(data, output_dir: PathLike, progress, pairs: list, told: bool = True) -> str:
    """train() with its options as (name, value) pairs, which may repeat a
    name; told: the caller said how a corpus file is to be read."""
    directory = os.fsencode(os.path.abspath(os.fspath(output_dir)))
    if isinstance(data, tuple):
        if len(data) != 2:
            raise TypeError("data is a corpus path or a pair (texts, labels)")
        texts = [_utf8(text) for text in _sequence_of_texts(data[0], "train")]
        labels = [_label_bytes(label, i)
                  for i, label in enumerate(_sequence_of_texts(data[1], "train"))]
        if len(texts) != len(labels):
            raise ValueError("%d texts but %d labels" % (len(texts), len(labels)))
        call = _texts_call(texts, labels, directory)
    elif isinstance(data, (str, bytes, os.PathLike)):
        corpus = os.fsencode(os.path.abspath(os.fspath(data)))
        call = lambda handle, message: native.library().wenlei_train_file(  # noqa: E731
            corpus, directory, handle, message)
    else:
        raise TypeError("data is a corpus path or a pair (texts, labels), not %s" % type(data).__name__)
    prepared = _Options(pairs, progress)
    try:
        prepared.run(call)
    finally:
        prepared.close()
    if not isinstance(data, tuple) and not told:
        _say_how_the_corpus_was_read(os.fsdecode(corpus), os.fsdecode(directory))
    return os.fsdecode(directory)


def _say_how_the_corpus_was_read(corpus: str, directory: str) -> None:
    """Warns when a corpus file was seen to hold raw text: the set then
    records the dictionary that segmented it."""
    try:
        with open(os.path.join(directory, "Metadata.txt"), encoding="utf-8") as metadata:
            segmented = any(line.startswith("dictionary_sha256 ") for line in metadata)
    except OSError:
        return
    if segmented:
        warnings.warn("wenlei.train: %s holds raw text (most of its Chinese stands in runs far "
                      "longer than words): read as raw text and segmented; raw=True says so, "
                      "segmented=True reads it as words" % corpus, UserWarning, stacklevel=4)


def _jobs(n_jobs) -> int:
    """joblib's n_jobs as the trainer's jobs: -1 every processor, -2 all but
    one, ...; 0 (one per processor) and positive numbers as they are."""
    if isinstance(n_jobs, bool) or not isinstance(n_jobs, numbers.Integral):
        raise ValueError("n_jobs is a whole number, not %r" % (n_jobs,))
    if n_jobs < 0:
        return max(1, (os.cpu_count() or 1) + 1 + int(n_jobs))
    return int(n_jobs)


def _one_of(options: dict, name: str, alias: str):
    """The value of an option given by either of two names (not both)."""
    value, other = options.pop(name, None), options.pop(alias, None)
    if value is not None and other is not None and value != other:
        raise ValueError("%s=%r and %s=%r disagree; give one of them" % (name, value, alias, other))
    return other if value is None else value


def option_list(options: dict) -> list:
    """(training option, value) pairs, scikit-learn's names made the
    trainer's: n_jobs (or jobs), and class_weight -- None, 'balanced', a
    dict from class name to a factor of its cost, or the exponent of
    class_weights (a number or a list of candidates)."""
    options = dict(options)
    jobs = _one_of(options, "n_jobs", "jobs")
    # A dict of factors beside an exponent under the older name: both apply.
    factors = None
    if (isinstance(options.get("class_weight"), collections.abc.Mapping)
            and options.get("class_weights") is not None):
        factors = options.pop("class_weight")
    weighting = _one_of(options, "class_weight", "class_weights")
    pairs = [(name, value) for name, value in options.items()]
    pairs.append(("jobs", None if jobs is None else _jobs(jobs)))
    if isinstance(weighting, collections.abc.Mapping):
        factors, weighting = weighting, None
    if isinstance(weighting, str):
        if weighting != "balanced":
            raise ValueError("class_weight is None, 'balanced', a dict from class to weight, "
                             "or an exponent, not %r" % weighting)
        pairs.append(("class_weights", 1))
    else:
        pairs.append(("class_weights", weighting))
    for name, factor in (factors or {}).items():
        if not isinstance(name, str):
            raise TypeError("class_weight's keys are class names (str), not %r" % (name,))
        if isinstance(factor, bool) or not isinstance(factor, numbers.Real) or not factor > 0:
            raise ValueError("class_weight[%r] is a number above 0, not %r" % (name, factor))
        pairs.append(("class_weight", "%s=%r" % (name, float(factor))))
    return pairs


# Characters a class name may not start or end with, and the controls it
# may not hold: the set's metadata file keeps names one a line, trimmed.
_SPACES = " \u00a0\u3000"


def _label_bytes(label, index: int) -> bytes:
    if not isinstance(label, str):
        raise TypeError("a class name is str, not %s" % type(label).__name__)
    if any(ord(c) < 0x20 or ord(c) == 0x7F for c in label):
        raise ValueError("text %d: class name %r holds a control character" % (index + 1, label))
    if label and (label[0] in _SPACES or label[-1] in _SPACES):
        raise ValueError("text %d: class name %r starts or ends with white space" % (index + 1, label))
    return label.encode("utf-8", "surrogatepass")


def _texts_call(texts, labels, directory):
    count = len(texts)
    label_array = (ctypes.c_char_p * max(count, 1))(*labels)
    text_array = (ctypes.c_char_p * max(count, 1))(*texts)
    lengths = (ctypes.c_size_t * max(count, 1))(*[len(text) for text in texts])

    def call(handle, message):
        return native.library().wenlei_train_texts(label_array, text_array, lengths, count,
                                                   directory, handle, message)
    return call
