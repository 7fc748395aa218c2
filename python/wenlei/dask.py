"""Classifying a Dask bag or a text column of a Dask DataFrame on a cluster.

    import dask.bag
    import wenlei.dask
    bag = dask.bag.from_sequence(texts, npartitions=32)
    answers = wenlei.dask.classify_bag(bag).pluck("answer").compute()
    frame = wenlei.dask.classify_dataframe(frame, "text")   # + label, confidence, unknown

Each worker process opens the resource set once (the first partition it
gets) and classifies each partition with one call into the library.  The
resource set (and the library) must be where the workers can read them:
None means the bundled set installed with each worker's library.
"""

from typing import Dict, Iterable, List, Optional, Tuple

from . import _forksafe
from ._classifier import Classifier, Text, _path_argument

_classifiers: Dict[Tuple, Classifier] = {}
_lock = _forksafe.Lock()


def _classifier(resources: Optional[str], options: Tuple) -> Classifier:
    key = (resources, options)
    with _lock:
        classifier = _classifiers.get(key)
        if classifier is None:
            classifier = _classifiers[key] = Classifier(resources, **dict(options))
    return classifier


def classify_partition(texts: Iterable[Text], resources: Optional[str] = None,
                       errors: str = "raise", options: Tuple = ()) -> List[dict]:
    """Classifies one partition; every element becomes Result.as_dict(), or
    with errors="return" an {"error": message, "status": name} dict for a
    document that cannot be classified."""
    answers = []
    for answer in _classifier(resources, options).classify_many(list(texts), errors=errors):
        if isinstance(answer, Exception):
            answers.append({"error": answer.message, "status": answer.status_name})
        else:
            answers.append(answer.as_dict())
    return answers


def classify_bag(bag, resources=None, errors: str = "raise", **options):
    """A bag of result dicts (see Result.as_dict), one per document of
    ``bag`` (str or UTF-8 bytes), in the same order.

    ``options`` are Classifier's keywords (dictionary, min_confidence,
    max_document_bytes).  errors="raise" fails the computation on the first
    document that cannot be classified; errors="return" gives such a
    document {"error": ..., "status": ...} and goes on.
    """
    if errors not in ("raise", "return"):
        raise ValueError("errors is 'raise' or 'return', not %r" % errors)
    if options.get("dictionary") is not None:
        options["dictionary"] = _path_argument(options["dictionary"])
    return bag.map_partitions(classify_partition, _path_argument(resources), errors,
                              tuple(sorted(options.items())))


def _answer_columns(prefix: str, errors: str) -> list:
    """The columns classify_dataframe adds, with their dtypes."""
    columns = [(prefix + "label", object), (prefix + "confidence", "float64"),
               (prefix + "unknown", bool)]
    if errors == "return":
        columns.append((prefix + "error", object))
    return columns


def classify_frame(frame, column, resources: Optional[str] = None, errors: str = "raise",
                   options: Tuple = (), prefix: str = ""):
    """One partition (a pandas DataFrame) with the answers for its column
    ``column``: see classify_dataframe."""
    import pandas
    answers = _classifier(resources, options).classify_many(list(frame[column]), errors=errors)
    failed = [isinstance(answer, Exception) for answer in answers]
    values = [
        [None if bad else answer.label for answer, bad in zip(answers, failed)],
        [float("nan") if bad else answer.confidence for answer, bad in zip(answers, failed)],
        [bad or answer.unknown for answer, bad in zip(answers, failed)],
        [answer.message if bad else None for answer, bad in zip(answers, failed)],
    ]
    return frame.assign(**{name: pandas.Series(value, index=frame.index, dtype=dtype)
                           for (name, dtype), value in zip(_answer_columns(prefix, errors), values)})


def classify_dataframe(frame, column: str, resources=None, errors: str = "raise",
                       prefix: str = "", **options):
    """``frame`` (a Dask DataFrame) with three columns more, the answers for
    its text column ``column`` (str or UTF-8 bytes): ``label`` (the class
    name, None when the answer is unknown or the text holds no known word),
    ``confidence`` (float) and ``unknown`` (bool), each name after
    ``prefix``.  errors="raise" fails the computation on the first text
    that cannot be classified; errors="return" gives such a text label
    None, confidence NaN, unknown True and its message in a fourth column,
    ``error`` (None for the others).  A missing value (None, NaN) is not a
    text: fill it first.  ``options`` are Classifier's keywords.

    Partition by partition, each worker opening the set once; the result's
    columns and dtypes are declared, so Dask computes nothing to learn them.
    """
    import pandas
    if errors not in ("raise", "return"):
        raise ValueError("errors is 'raise' or 'return', not %r" % errors)
    if column not in frame.columns:
        raise KeyError("the frame has no column %r" % (column,))
    added = _answer_columns(prefix, errors)
    taken = [name for name, _ in added if name in frame.columns]
    if taken:
        raise ValueError("the frame already has a column %r: give the answers' columns a prefix"
                         % taken[0])
    if options.get("dictionary") is not None:
        options["dictionary"] = _path_argument(options["dictionary"])
    meta = frame._meta.assign(**{name: pandas.Series(dtype=dtype) for name, dtype in added})
    return frame.map_partitions(classify_frame, column, _path_argument(resources), errors,
                                tuple(sorted(options.items())), prefix, meta=meta)
