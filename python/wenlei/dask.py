"""Classifying a Dask bag of documents on a cluster.

    import dask.bag
    import wenlei.dask
    bag = dask.bag.from_sequence(texts, npartitions=32)
    answers = wenlei.dask.classify_bag(bag).pluck("answer").compute()

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
