"""The CPU time of tuning the cost with scikit-learn's GridSearchCV: over
wenlei's TextClassifier, and over the peer, jieba + TF-IDF + LinearSVC, on
the same raw training split and the same five costs, each scored on the
held-out split.

Usage: grid_search_cpu.py [--data DIR] [--corpus NAME] [--size N] [--cv K]

The corpus is DIR/NAME/train-N.tsv and DIR/NAME/test.tsv (default:
data/bench/mixed at 2,000 documents, the five classes of a new user's
corpus), made by scripts/corpus/debian_corpora.py from Debian's manpages-zh,
fortunes-zh and debian-reference-zh-cn when missing.  Each system runs in a
process of its own; its CPU time (user + system, with its children) counts
from the raw texts in memory, scikit-learn and the package imported, to
the end of the search's refit: the segmenter's start, the segmentation and
every fit of the search.  Prints one line per system and the ratio.
"""

import argparse
import json
import os
import resource
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
COSTS = [0.25, 0.5, 1.0, 2.0, 4.0]


def read_split(path):
    labels, texts = [], []
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            label, _, text = line.rstrip("\n").partition("\t")
            labels.append(label)
            texts.append(text)
    return labels, texts


def cpu_seconds():
    own = resource.getrusage(resource.RUSAGE_SELF)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return own.ru_utime + own.ru_stime + children.ru_utime + children.ru_stime


def search_wenlei(texts, labels, cv):
    from sklearn.model_selection import GridSearchCV
    from wenlei.sklearn import TextClassifier
    start = cpu_seconds()
    search = GridSearchCV(TextClassifier(n_jobs=1), {"cost": COSTS}, cv=cv).fit(texts, labels)
    return search, cpu_seconds() - start, lambda test: search.predict(test)


def search_peer(texts, labels, cv):
    import jieba
    from sklearn.feature_extraction.text import TfidfVectorizer
    from sklearn.model_selection import GridSearchCV
    from sklearn.pipeline import make_pipeline
    from sklearn.svm import LinearSVC
    jieba.setLogLevel(60)

    def cut(documents):
        return [" ".join(w for w in jieba.cut(d) if not w.isspace()) for d in documents]

    start = cpu_seconds()
    pipeline = make_pipeline(TfidfVectorizer(token_pattern=r"[^ ]+", lowercase=False,
                                             sublinear_tf=True), LinearSVC())
    search = GridSearchCV(pipeline, {"linearsvc__C": COSTS}, cv=cv).fit(cut(texts), labels)
    return search, cpu_seconds() - start, lambda test: search.predict(cut(test))


def run_one(system, train, test, cv):
    import numpy
    import sklearn  # noqa: F401  (imported before the clock starts, on both sides)
    labels, texts = read_split(train)
    test_labels, test_texts = read_split(test)
    search, seconds, predict = (search_wenlei if system == "wenlei" else search_peer)(
        texts, labels, cv)
    accuracy = float(numpy.mean(numpy.asarray(predict(test_texts)) == numpy.asarray(test_labels)))
    json.dump({"system": system, "cpu_seconds": seconds, "accuracy": accuracy,
               "best": {key: float(value) for key, value in search.best_params_.items()}},
              sys.stdout)
    print()


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--data", default=os.path.join(ROOT, "data", "bench"))
    parser.add_argument("--corpus", default="mixed")
    parser.add_argument("--size", type=int, default=2000)
    parser.add_argument("--cv", type=int, default=5)
    parser.add_argument("--system", choices=["wenlei", "peer"], help=argparse.SUPPRESS)
    options = parser.parse_args(argv)
    folder = os.path.join(options.data, options.corpus)
    train = os.path.join(folder, "train-%d.tsv" % options.size)
    test = os.path.join(folder, "test.tsv")
    if options.system:
        run_one(options.system, train, test, options.cv)
        return 0
    if not os.path.isfile(train):
        subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "corpus", "debian_corpora.py"),
                        options.data], check=True)
    figures = {}
    for system in ("wenlei", "peer"):
        run = subprocess.run([sys.executable, __file__, "--system", system, "--data", options.data,
                              "--corpus", options.corpus, "--size", str(options.size),
                              "--cv", str(options.cv)], check=True, capture_output=True, text=True)
        figures[system] = json.loads(run.stdout.splitlines()[-1])
        print("%-6s CPU %6.2f s  accuracy %.4f  best %s" % (
            system, figures[system]["cpu_seconds"], figures[system]["accuracy"],
            figures[system]["best"]))
    print("wenlei / peer CPU: %.2f" % (figures["wenlei"]["cpu_seconds"] / figures["peer"]["cpu_seconds"]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
