"""wenlei.train(..., client=...): the cross-validated search on a Dask cluster.

The search is cut into shares ("search-part" I/N), one task each, which the
cluster's workers run on their own copy of the corpus: each segments it and
cross-validates its share of the search's units into a results file.  This
process gathers the files and runs the rest of the training with them
("search-results"): the choice, the confidence's calibration and the final
model, which are the files one machine writes alone.
"""

import os
import tempfile

from ._classifier import _sequence_of_texts, _utf8
from ._errors import CancelledError
from ._training import ProgressBar, option_list, train_with

# The stage that the progress callback sees while the shares run.
STAGE = "cross-validation on the cluster"


def _corpus(data):
    """What a worker needs of the corpus: ("texts", texts, labels) with
    each text as UTF-8 bytes, or ("file", name, bytes) of a corpus file,
    which the workers need not be able to read where it is."""
    if isinstance(data, tuple):
        if len(data) != 2:
            raise TypeError("data is a corpus path or a pair (texts, labels)")
        texts = [_utf8(text) for text in _sequence_of_texts(data[0], "train")]
        return ("texts", texts, list(_sequence_of_texts(data[1], "train")))
    if isinstance(data, (str, bytes, os.PathLike)):
        path = os.fspath(data)
        with open(path, "rb") as corpus:
            return ("file", os.path.basename(os.fsdecode(path)), corpus.read())
    raise TypeError("data is a corpus path or a pair (texts, labels), not %s" % type(data).__name__)


def run_share(corpus, pairs: list, index: int, count: int) -> bytes:
    """On a worker: share index of count of the search, its results file's bytes."""
    with tempfile.TemporaryDirectory(prefix="wenlei-share-") as work:
        if corpus[0] == "file":
            data = os.path.join(work, corpus[1])
            with open(data, "wb") as copy:
                copy.write(corpus[2])
        else:
            data = (corpus[1], corpus[2])
        directory = os.path.join(work, "share")
        train_with(data, directory, None, pairs + [("search_part", "%d/%d" % (index, count))])
        with open(os.path.join(directory, "SearchPart-%d-of-%d.txt" % (index, count)), "rb") as results:
            return results.read()


def _shares(client, shares) -> int:
    if shares is None:
        return max(1, sum(client.nthreads().values()))
    if isinstance(shares, bool) or not isinstance(shares, int) or shares < 1:
        raise ValueError("shares is a whole number above 0, not %r" % (shares,))
    return shares


def train_on_cluster(client, data, output_dir, progress, options: dict) -> str:
    """wenlei.train's search on the workers of client, the rest here."""
    import distributed

    options = dict(options)
    count = _shares(client, options.pop("shares", None))
    if options.get("dictionary") is not None:
        options["dictionary"] = os.path.abspath(os.fspath(options["dictionary"]))
    pairs = option_list(options)
    # Unless told otherwise a share trains on one thread: Dask shares the
    # workers' threads out among the shares.
    share_pairs = [(name, 1 if name == "jobs" and value is None else value) for name, value in pairs]
    corpus = client.scatter([_corpus(data)], broadcast=True)[0]
    futures = [client.submit(run_share, corpus, share_pairs, index, count, pure=False)
               for index in range(1, count + 1)]
    if progress is True:
        progress = ProgressBar()  # one display for the shares and the rest
    report = progress or None
    with tempfile.TemporaryDirectory(prefix="wenlei-search-") as work:
        try:
            if report and report(STAGE, 0, count):
                raise CancelledError("training cancelled")
            paths = []
            for done, (future, results) in enumerate(
                    distributed.as_completed(futures, with_results=True), start=1):
                index = futures.index(future) + 1
                paths.append(os.path.join(work, "SearchPart-%d-of-%d.txt" % (index, count)))
                with open(paths[-1], "wb") as file:
                    file.write(results)
                if report and report(STAGE, done, count):
                    raise CancelledError("training cancelled")
        finally:
            client.cancel(futures + [corpus])
        pairs += [("search_results", path) for path in sorted(paths)]
        return train_with(data, output_dir, progress, pairs,
                          told=bool(options.get("raw") or options.get("segmented")))
