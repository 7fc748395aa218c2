#!/usr/bin/env python3
"""How often the stored confidence threshold flags in-domain documents
unknown: the bundled set on its held-out split, and sets trained with the
defaults (`wenlei train --raw`) on the training benchmark's corpora, each
on its held-out split; with the out-of-domain sets for the help corpus.

    python3 bench/unknown_rate.py [--build build] [--data data] [--sets DIR]

Needs the corpora of scripts/prepare-corpus (data/corpus), of
scripts/corpus/debian_corpora.py (data/bench) and, for the out-of-domain
rows, scripts/prepare-out-of-domain (data/out-of-domain).  Sets are trained
into --sets (default: data/unknown-rate) unless already there.  Prints a
markdown table; not a test.
"""

import argparse
import json
import subprocess
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def evaluate(wenlei: Path, directory: Path, test: Path, threshold=None) -> dict:
    with tempfile.NamedTemporaryFile(suffix=".tsv") as scores:
        command = [str(wenlei), "eval", "--raw", "-q", str(directory), str(test), "--json",
                   "--scores", scores.name]
        if threshold is not None:
            command += ["--min-confidence", repr(threshold)]
        done = subprocess.run(command, capture_output=True, text=True, check=True)
        report = json.loads(done.stdout)
        lines = Path(scores.name).read_text(encoding="utf-8").splitlines()[1:]
        report["confidences"] = sorted(float(line.split("\t")[2]) for line in lines)
    return report


def share_under(confidences, threshold) -> float:
    return sum(value < threshold for value in confidences) / max(1, len(confidences))


def quantile(confidences, share) -> float:
    """The threshold that flags about `share` of these documents."""
    index = min(len(confidences) - 1, int(share * len(confidences)))
    return confidences[index]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=Path, default=ROOT / "build")
    parser.add_argument("--data", type=Path, default=ROOT / "data")
    parser.add_argument("--sets", type=Path, default=None)
    arguments = parser.parse_args()
    wenlei = arguments.build / "wenlei"
    data = arguments.data
    sets = arguments.sets or data / "unknown-rate"
    runs = [("bundled help-zh (models/help-zh)", ROOT / "models" / "help-zh", None,
             data / "corpus" / "test-raw.tsv", True)]
    runs.append(("help-zh, defaults", sets / "help-zh", data / "corpus" / "train-raw.tsv",
                 data / "corpus" / "test-raw.tsv", True))
    for corpus in ("mixed", "manpages"):
        for size in (2000, 8000):
            runs.append(("%s %d, defaults" % (corpus, size), sets / ("%s-%d" % (corpus, size)),
                         data / "bench" / corpus / ("train-%d.tsv" % size),
                         data / "bench" / corpus / "test.tsv", False))
    far, near = data / "out-of-domain" / "far.tsv", data / "out-of-domain" / "near.tsv"
    print("| set | held-out documents | stored threshold | flagged unknown | of those answered right "
          "| accuracy of the others | threshold flagging 1% | out-of-domain flagged (far / near), "
          "stored / at 1% |")
    print("|---|---|---|---|---|---|---|---|")
    for name, directory, train, test, with_ood in runs:
        if train is not None and not (directory / "SVMModel").exists():
            subprocess.run([str(wenlei), "train", "--raw", "-q", str(train), "-o", str(directory)],
                           check=True, stdout=subprocess.DEVNULL)
        report = evaluate(wenlei, directory, test)
        documents = report["documents"]
        flagged = round(report["unknown_rate"] * documents)
        right = round(report["accuracy"] * documents - report["answered_accuracy"] * (documents - flagged))
        at_one = quantile(report["confidences"], 0.01)
        ood = "-"
        if with_ood and far.exists() and near.exists():
            stored = [evaluate(wenlei, directory, path)["confidences"] for path in (far, near)]
            ood = "%.1f%% / %.1f%%, %.1f%% / %.1f%%" % (
                100 * share_under(stored[0], report["min_confidence"]),
                100 * share_under(stored[1], report["min_confidence"]),
                100 * share_under(stored[0], at_one), 100 * share_under(stored[1], at_one))
        print("| %s | %d | %.3f | %.1f%% (%d) | %d | %.4f | %.3f | %s |" % (
            name, documents, report["min_confidence"], 100 * report["unknown_rate"], flagged, right,
            report["answered_accuracy"], at_one, ood))


if __name__ == "__main__":
    main()
