"""Trains and evaluates the peer classifiers on a segmented corpus split.

Usage: peers.py TRAIN.tsv TEST.tsv [--json OUT]

Both files hold `class<TAB>word word ...` lines. The peers are fastText's
supervised classifier (its command line) and scikit-learn's TF-IDF features
with a linear SVM and with logistic regression. For each: accuracy,
macro-F1, training time, the time to predict the whole test set, and the
time to predict one document on a model already in memory.
"""

import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

FASTTEXT_PARAMETERS = ["-epoch", "50", "-lr", "0.5", "-wordNgrams", "2",
                       "-dim", "50", "-bucket", "100000", "-minCount", "1",
                       "-loss", "softmax", "-thread", "1", "-seed", "1"]


class PeerError(Exception):
    pass


def progress(message):
    print(f"compare-peers: {message}", file=sys.stderr, flush=True)


def read_split(path):
    labels, documents = [], []
    try:
        with open(path, encoding="utf-8", newline="\n") as f:
            for number, line in enumerate(f, 1):
                class_name, tab, words = line.rstrip("\n").partition("\t")
                if not tab or not class_name:
                    raise PeerError(f"{path}:{number}: not a `class<TAB>words` line")
                labels.append(class_name)
                documents.append(" ".join(words.split()))
    except UnicodeDecodeError:
        raise PeerError(f"{path} is not UTF-8 text")
    if not labels:
        raise PeerError(f"{path} holds no documents")
    return labels, documents


def scores(true_labels, predicted):
    from sklearn.metrics import accuracy_score, f1_score
    classes = sorted(set(true_labels))
    per_class = f1_score(true_labels, predicted, labels=classes, average=None,
                         zero_division=0)
    return {
        "accuracy": accuracy_score(true_labels, predicted),
        "macro_f1": f1_score(true_labels, predicted, average="macro",
                             zero_division=0),
        "per_class_f1": dict(zip(classes, map(float, per_class))),
    }


def word_tfidf():
    from sklearn.feature_extraction.text import TfidfVectorizer
    # The documents are segmented already: every space-separated token is
    # one term, kept as it is.
    return TfidfVectorizer(token_pattern=r"[^ ]+", lowercase=False,
                           sublinear_tf=True)


def per_document_times(predict_one, documents):
    """Milliseconds per document, predicting them one at a time."""
    predict_one(documents[0])  # warm-up: first-call costs are not per document
    times = []
    for document in documents:
        started = time.perf_counter()
        predict_one(document)
        times.append((time.perf_counter() - started) * 1000.0)
    return {"predict_one_ms_mean": statistics.fmean(times),
            "predict_one_ms_median": statistics.median(times)}


class FastTextPeer:
    name = "fastText"

    def __init__(self, workdir):
        self._workdir = workdir
        self._model = os.path.join(workdir, "model")
        self._label_of = {}

    def describe(self):
        return "fasttext supervised " + " ".join(FASTTEXT_PARAMETERS)

    def _label(self, class_name):
        # Class names become plain numbered labels, so that no name can clash
        # with fastText's own syntax.
        return self._label_of.setdefault(class_name, f"__label__{len(self._label_of)}")

    def train(self, labels, documents):
        lines = [f"{self._label(c)} {d}" for c, d in zip(labels, documents)]
        # fastText learns online: a fixed shuffle keeps classes interleaved.
        random.Random(1).shuffle(lines)
        path = os.path.join(self._workdir, "train.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        self._class_of = {v: k for k, v in self._label_of.items()}
        run = subprocess.run(["fasttext", "supervised", "-input", path,
                              "-output", self._model, "-verbose", "0"]
                             + FASTTEXT_PARAMETERS,
                             capture_output=True, text=True)
        if run.returncode != 0:
            raise PeerError(f"fasttext supervised failed: "
                            f"{(run.stderr.strip().splitlines() or ['?'])[-1]}")

    def _class(self, output_line):
        return self._class_of.get(output_line.strip().split(" ")[0], "")

    def predict_all(self, documents):
        path = os.path.join(self._workdir, "test.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(documents) + "\n")
        run = subprocess.run(["fasttext", "predict", self._model + ".bin", path],
                             capture_output=True, text=True)
        if run.returncode != 0:
            raise PeerError(f"fasttext predict failed: {run.stderr.strip()}")
        lines = run.stdout.split("\n")[:len(documents)]
        return [self._class(line) for line in lines]

    def time_one_by_one(self, documents):
        # One fastText process with the model loaded answers line by line.
        process = subprocess.Popen(
            ["fasttext", "predict", self._model + ".bin", "-"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
            encoding="utf-8", bufsize=1)

        def predict_one(document):
            process.stdin.write(document + "\n")
            process.stdin.flush()
            return self._class(process.stdout.readline())

        try:
            return per_document_times(predict_one, documents)
        finally:
            process.stdin.close()
            process.wait()
            process.stdout.close()


class ScikitPeer:
    def __init__(self, name, make_classifier, use_probabilities):
        self.name = name
        self._make_classifier = make_classifier
        self._use_probabilities = use_probabilities

    def describe(self):
        return f"{self._vectorizer_text()} + {self._make_classifier()!r}"

    @staticmethod
    def _make_vectorizer():
        return word_tfidf()

    def _vectorizer_text(self):
        return ("TfidfVectorizer(token_pattern='[^ ]+', lowercase=False, "
                "sublinear_tf=True)")

    def train(self, labels, documents):
        self._vectorizer = self._make_vectorizer()
        features = self._vectorizer.fit_transform(documents)
        self._classifier = self._make_classifier()
        self._classifier.fit(features, labels)

    def _predict(self, features):
        if self._use_probabilities:
            probabilities = self._classifier.predict_proba(features)
            return list(self._classifier.classes_[probabilities.argmax(axis=1)])
        return list(self._classifier.predict(features))

    def predict_all(self, documents):
        return self._predict(self._vectorizer.transform(documents))

    def time_one_by_one(self, documents):
        return per_document_times(
            lambda d: self._predict(self._vectorizer.transform([d]))[0],
            documents)


def make_peers(workdir):
    from sklearn.linear_model import LogisticRegression
    from sklearn.svm import LinearSVC
    return [
        FastTextPeer(workdir),
        ScikitPeer("sklearn LinearSVC",
                   lambda: LinearSVC(C=1.0), use_probabilities=False),
        ScikitPeer("sklearn LogisticRegression",
                   lambda: LogisticRegression(C=10.0, max_iter=2000),
                   use_probabilities=True),
    ]


def evaluate(peer, train, test):
    progress(f"{peer.name}: training on {len(train[0])} documents")
    started = time.perf_counter()
    peer.train(*train)
    train_seconds = time.perf_counter() - started

    started = time.perf_counter()
    predicted = peer.predict_all(test[1])
    predict_all_seconds = time.perf_counter() - started

    progress(f"{peer.name}: predicting {len(test[1])} documents one at a time")
    result = {"parameters": peer.describe()}
    result.update(scores(test[0], predicted))
    result.update({"train_seconds": train_seconds,
                   "predict_all_seconds": predict_all_seconds})
    result.update(peer.time_one_by_one(test[1]))
    return result


def print_table(results, out):
    header = (f"{'peer':28} {'accuracy':>8} {'macro-F1':>8} {'train s':>8} "
              f"{'test set s':>10} {'ms/doc':>7} {'median':>7}")
    print(header, file=out)
    print("-" * len(header), file=out)
    for name, r in results.items():
        print(f"{name:28} {r['accuracy']:8.4f} {r['macro_f1']:8.4f} "
              f"{r['train_seconds']:8.2f} {r['predict_all_seconds']:10.3f} "
              f"{r['predict_one_ms_mean']:7.3f} {r['predict_one_ms_median']:7.3f}",
              file=out)
    print("(test set s: the whole test set in one call, fastText's including "
          "loading its model;\n ms/doc: one document at a time on a model "
          "already loaded)", file=out)
    names = list(results)
    classes = list(next(iter(results.values()))["per_class_f1"])
    print(f"\nF1 per class: " + ", ".join(
        f"{i + 1} = {name}" for i, name in enumerate(names)), file=out)
    for class_name in classes:
        # Chinese characters take two columns on a terminal.
        padded = class_name + " " * max(0, 10 - 2 * len(class_name))
        print(padded + "".join(
            f" {results[n]['per_class_f1'][class_name]:7.4f}" for n in names),
            file=out)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("train")
    parser.add_argument("test")
    parser.add_argument("--json", metavar="OUT",
                        help="also write the numbers as JSON to OUT")
    args = parser.parse_args(argv)
    try:
        train, test = read_split(args.train), read_split(args.test)
        if shutil.which("fasttext") is None:
            raise PeerError("the fasttext command is missing "
                            "(apt-get install fasttext)")
        with tempfile.TemporaryDirectory(prefix="compare-peers.") as workdir:
            results = {peer.name: evaluate(peer, train, test)
                       for peer in make_peers(workdir)}
    except (PeerError, OSError) as error:
        print(f"compare-peers: {error}", file=sys.stderr)
        return 1

    print(f"train: {args.train} ({len(train[0])} documents), "
          f"test: {args.test} ({len(test[0])} documents), "
          f"{len(set(train[0]))} classes")
    print_table(results, sys.stdout)
    if args.json:
        report = {"train": args.train, "test": args.test,
                  "train_documents": len(train[0]),
                  "test_documents": len(test[0]),
                  "classes": sorted(set(train[0])),
                  "peers": results}
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump(report, f, ensure_ascii=False, indent=2)
            f.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
