"""Trains one peer classifier on raw text and prints its figures as JSON.

Usage: train_peers.py SYSTEM TRAIN.tsv TEST.tsv

Both files hold `class<TAB>raw text` lines. SYSTEM is one of:
  sklearn-grid            the text segmented with Debian's python3-jieba (its
                          default mode), TF-IDF of the words (sublinear tf) and
                          scikit-learn's LinearSVC, its cost chosen by a 5-fold
                          stratified grid over 8 costs, refitted on the whole
                          training split;
  sklearn-chars1-2        the same grid over the TF-IDF of the raw text's runs
                          of 1 to 2 characters (no segmentation);
  sklearn-words+chars1-3  the same grid over the word TF-IDF and the TF-IDF of
                          runs of 1 to 3 characters side by side;
  fasttext                the jieba words and the `fasttext supervised`
                          command with the parameters of peers.py.
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
from peers import FastTextPeer, read_split, scores, word_tfidf  # noqa: E402

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


def char_tfidf(longest):
    from sklearn.feature_extraction.text import TfidfVectorizer
    return TfidfVectorizer(analyzer="char", ngram_range=(1, longest), lowercase=False,
                           sublinear_tf=True)


def words_and_chars():
    from sklearn.compose import ColumnTransformer
    # Column 0 holds the segmented text, column 1 the raw text; the two
    # TF-IDF vectors are joined side by side, as a FeatureUnion would.
    return ColumnTransformer([("words", word_tfidf(), 0), ("chars", char_tfidf(3), 1)])


def raw_and_segmented(texts):
    import numpy
    return numpy.array(list(zip(segmented(texts), texts)), dtype=object)


# Each grid's features and the documents they read, made from the raw texts.
GRIDS = {
    "sklearn-grid": (word_tfidf, segmented),
    "sklearn-chars1-2": (lambda: char_tfidf(2), list),
    "sklearn-words+chars1-3": (words_and_chars, raw_and_segmented),
}
SYSTEMS = tuple(GRIDS) + ("fasttext",)


class GridPeer:
    def __init__(self, make_features):
        self._make_features = make_features

    def train(self, labels, documents):
        from sklearn.model_selection import GridSearchCV, StratifiedKFold
        from sklearn.pipeline import make_pipeline
        from sklearn.svm import LinearSVC
        # Inside the pipeline the vocabulary and idf come from each fold's
        # training part alone, as they do in wenlei's cross-validation.
        pipeline = make_pipeline(self._make_features(), LinearSVC())
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
    if len(argv) != 3 or argv[0] not in SYSTEMS:
        print(__doc__, file=sys.stderr)
        return 2
    system, train_path, test_path = argv
    train_labels, train_texts = read_split(train_path)
    with tempfile.TemporaryDirectory(prefix="train-peers.") as workdir:
        if system in GRIDS:
            make_features, reads = GRIDS[system]
            peer = GridPeer(make_features)
        else:
            peer, reads = FastTextPeer(workdir), segmented
        peer.train(train_labels, reads(train_texts))
        cpu_seconds, peak_kb = cpu_so_far()
        test_labels, test_texts = read_split(test_path)
        result = scores(test_labels, peer.predict_all(reads(test_texts)))
    result.pop("per_class_f1")
    result.update({"cpu_seconds": cpu_seconds, "peak_rss_mb": peak_kb / 1024.0})
    if system in GRIDS:
        result.update(peer.describe())
    json.dump(result, sys.stdout)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
