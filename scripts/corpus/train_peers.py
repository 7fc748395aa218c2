"""Trains one peer classifier on raw text and prints its figures as JSON.

Usage: train_peers.py {sklearn-grid,fasttext} TRAIN.tsv TEST.tsv

Both files hold `class<TAB>raw text` lines. The text is segmented with
Debian's python3-jieba (its default mode) and then:
  sklearn-grid  TF-IDF (sublinear tf) and scikit-learn's LinearSVC, its cost
                chosen by a 5-fold stratified grid over 8 costs, refitted on
                the whole training split;
  fasttext      the `fasttext supervised` command with the parameters of
                peers.py.
Prints one JSON object: accuracy and macro-F1 on TEST, and the CPU seconds
(user + system, of this process and its children, from its start to the end
of training: the interpreter, loading jieba, segmenting the training split,
the grid and the final fit) and peak resident memory of training. Run it as
its own process so that the figures are its own.
"""

import json
import os
import resource
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from peers import FastTextPeer, read_split, scores  # noqa: E402

COSTS = [0.0625, 0.125, 0.25, 0.5, 1.0, 2.0, 4.0, 8.0]
FOLDS = 5
SEED = 1


def segmented(documents):
    import jieba
    jieba.setLogLevel(60)  # its dictionary-loading chatter is not ours
    return [" ".join(w for w in jieba.cut(d) if not w.isspace()) for d in documents]


def cpu_so_far():
    own = resource.getrusage(resource.RUSAGE_SELF)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (own.ru_utime + own.ru_stime + children.ru_utime + children.ru_stime,
            max(own.ru_maxrss, children.ru_maxrss))


class GridPeer:
    def train(self, labels, documents):
        from sklearn.feature_extraction.text import TfidfVectorizer
        from sklearn.model_selection import GridSearchCV, StratifiedKFold
        from sklearn.pipeline import make_pipeline
        from sklearn.svm import LinearSVC
        # Inside the pipeline the vocabulary and idf come from each fold's
        # training part alone, as they do in wenlei's cross-validation.
        pipeline = make_pipeline(
            TfidfVectorizer(token_pattern=r"[^ ]+", lowercase=False, sublinear_tf=True),
            LinearSVC())
        self._search = GridSearchCV(
            pipeline, {"linearsvc__C": COSTS},
            cv=StratifiedKFold(FOLDS, shuffle=True, random_state=SEED))
        self._search.fit(documents, labels)

    def describe(self):
        return {"chosen_cost": self._search.best_params_["linearsvc__C"],
                "cv_accuracy": self._search.best_score_}

    def predict_all(self, documents):
        return list(self._search.predict(documents))


def main(argv):
    if len(argv) != 3 or argv[0] not in ("sklearn-grid", "fasttext"):
        print(__doc__, file=sys.stderr)
        return 2
    system, train_path, test_path = argv
    train_labels, train_texts = read_split(train_path)
    with tempfile.TemporaryDirectory(prefix="train-peers.") as workdir:
        peer = GridPeer() if system == "sklearn-grid" else FastTextPeer(workdir)
        peer.train(train_labels, segmented(train_texts))
        cpu_seconds, peak_kb = cpu_so_far()
        test_labels, test_texts = read_split(test_path)
        result = scores(test_labels, peer.predict_all(segmented(test_texts)))
    result.pop("per_class_f1")
    result.update({"cpu_seconds": cpu_seconds, "peak_rss_mb": peak_kb / 1024.0})
    if system == "sklearn-grid":
        result.update(peer.describe())
    json.dump(result, sys.stdout)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
