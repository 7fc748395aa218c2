"""Measures `wenlei train` beside its peers and writes bench/TRAINING.md.

Usage: bench_train.py --wenlei PATH --data DIR --help-corpus DIR --ood DIR
                      --out FILE [--smoke] [--only SYSTEM] [--scale]
                      [--variant NAME=OPTIONS ...] [-- TRAIN OPTIONS]

Every system trains on the same raw training split and is scored on the same
raw held-out split; each runs as a child process and its CPU time is user +
system time of training, segmentation included (wenlei's from wait4 on
`wenlei train --raw`, the peers' from train_peers.py, which reports its own
and its children's up to the end of training). The figures of every run are
kept in DIR/results.json, so that `--only wenlei` can measure wenlei again
(after a change of the trainer) and still write the whole file; `--only scale`
measures the scale run (bench_scale.py) alone, which also draws its plot
beside FILE.
"""

import argparse
import datetime
import json
import os
import platform
import re
import resource
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import bench_scale  # noqa: E402
SYSTEMS = ("wenlei", "sklearn-grid", "sklearn-chars1-2", "sklearn-words+chars1-3", "fasttext")
PEERS = SYSTEMS[1:]
GRIDS = ("sklearn-grid", "sklearn-chars1-2", "sklearn-words+chars1-3")
SYSTEM_NAMES = {
    "wenlei": "wenlei train (defaults)",
    "sklearn-grid": "jieba + TF-IDF + LinearSVC, 5-fold grid over 8 costs",
    "sklearn-chars1-2": "TF-IDF of characters 1-2 + LinearSVC, 5-fold grid over 8 costs",
    "sklearn-words+chars1-3": "jieba + TF-IDF of words and of characters 1-3 + LinearSVC, "
                              "5-fold grid over 8 costs",
    "fasttext": "jieba + fasttext supervised (word bigrams)",
}
SHORT_NAMES = {
    "wenlei": "wenlei (defaults)",
    "sklearn-grid": "words grid",
    "sklearn-chars1-2": "chars 1-2 grid",
    "sklearn-words+chars1-3": "words + chars 1-3 grid",
    "fasttext": "fastText",
}

# The choices the defaults were picked from, each measured on every split
# with its options spelled out (so that a row does not change when a
# default does); --variant adds more.
COSTS = "-c 0.0625,0.125,0.25,0.5,1,2,4,8 --stop-words none"
GRID = f"{COSTS} --reads words"
EVERY_WORD = "--features all --vocabulary full"
SELECTED = "--features 1000,2000,4000,all --vocabulary selected"
VARIANTS = [
    ("one-vs-rest logistic, every word of 2+ documents (the former defaults)",
     f"{GRID} {EVERY_WORD} --min-df 2 --multiclass one-vs-rest --solver logistic"),
    ("one-vs-rest l2-svm, every word of 2+ documents",
     f"{GRID} {EVERY_WORD} --min-df 2 --multiclass one-vs-rest --solver l2-svm"),
    ("one-vs-one l2-svm, every word of 2+ documents",
     f"{GRID} {EVERY_WORD} --min-df 2 --multiclass one-vs-one --solver l2-svm"),
    ("one-vs-one l2-svm, every word",
     f"{GRID} {EVERY_WORD} --min-df 1 --multiclass one-vs-one --solver l2-svm"),
    ("one-vs-one l1-svm, every word",
     f"{GRID} {EVERY_WORD} --min-df 1 --multiclass one-vs-one --solver l1-svm"),
    ("one-vs-one logistic, every word",
     f"{GRID} {EVERY_WORD} --min-df 1 --multiclass one-vs-one --solver logistic"),
    ("one-vs-rest logistic, 1000-4000 or all words",
     f"{GRID} {SELECTED} --min-df 1 --multiclass one-vs-rest --solver logistic"),
    ("one-vs-one l2-svm, 4000, 8000 or all words",
     f"{GRID} --features 4000,8000,all --vocabulary selected --min-df 1 "
     "--multiclass one-vs-one --solver l2-svm"),
    ("one-vs-one l2-svm, 1000-4000 or all words, class weights ^0.5",
     f"{GRID} {SELECTED} --min-df 1 --multiclass one-vs-one --solver l2-svm --class-weights 0.5"),
] + [
    (f"one-vs-one l2-svm, 1000-4000 or all selected, reads {reads}",
     f"{COSTS} {SELECTED} --min-df 1 --multiclass one-vs-one --solver l2-svm --reads {reads}")
    for reads in ("words", "chars1-2", "words+chars1-2", "words+chars1-3")
]



def say(message):
    print(f"bench-train: {message}", file=sys.stderr, flush=True)


def run_measured(command, cpu_limit=None):
    """Runs `command`; returns (stdout, CPU seconds, peak RSS in MB) of the
    child. With cpu_limit (seconds) the child is stopped there, and the
    failure raised names the limit."""
    def limit():
        resource.setrlimit(resource.RLIMIT_CPU, (cpu_limit, cpu_limit + 5))

    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(command, stdout=out, stderr=err,
                                   preexec_fn=limit if cpu_limit else None)
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        if process.returncode != 0:
            message = err.read().decode("utf-8", "replace").strip().splitlines()
            raise RuntimeError(f"{' '.join(command)} failed ({process.returncode}): "
                               f"{(message or ['?'])[-1]}")
        return (out.read().decode("utf-8"), usage.ru_utime + usage.ru_stime,
                usage.ru_maxrss / 1024.0)


EVALUATOR = []  # the wenlei command that scores the sets, when not the one that trains


def evaluate(wenlei, directory, test, raw=True):
    command = [(EVALUATOR or [wenlei])[0], "eval"] + (["--raw"] if raw else []) + [directory, test, "--json", "-q"]
    output = subprocess.run(command, capture_output=True, text=True, check=True).stdout
    return json.loads(output)


def measure_wenlei(wenlei, train, test, options, extra=None):
    with tempfile.TemporaryDirectory(prefix="bench-train.") as workdir:
        directory = os.path.join(workdir, "set")
        _, cpu, peak = run_measured([wenlei, "train", "--raw", train, "-o", directory,
                                     "-q"] + options)
        scored = evaluate(wenlei, directory, test) if test else {}
        metadata = read_metadata(os.path.join(directory, "Metadata.txt"))
        figures = {"cpu_seconds": cpu, "peak_rss_mb": peak,
                   "trainer": metadata.get("trainer", ""), "reads": metadata.get("reads", ""),
                   "chosen": chosen(metadata), "accuracy": scored.get("accuracy"),
                   "macro_f1": scored.get("macro_f1"), "unknown_rate": scored.get("unknown_rate")}
        if extra:
            figures.update(extra(directory))
    return figures


def chosen(metadata):
    """The cost, the number of selected units and the reading a set was trained with."""
    trainer = metadata.get("trainer", "")
    cost = re.search(r"C=([0-9.e+-]+)", trainer)
    units = re.search(r"([0-9]+) selected words", trainer)
    parts = [f"C={cost.group(1)}" if cost else "", f"k={units.group(1)}" if units else "",
             metadata.get("reads", "")]
    return ", ".join(p for p in parts if p)


def read_metadata(path):
    """A resource set's `name value` lines (the first of each name), {} without the file."""
    if not os.path.exists(path):
        return {}
    found = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            name, _, value = line.strip().partition(" ")
            if not line.startswith("#"):
                found.setdefault(name, value.strip())
    return found


def measure_peer(system, train, test, cpu_limit=None):
    output, _, _ = run_measured([sys.executable, os.path.join(HERE, "train_peers.py"),
                                 system, train, test], cpu_limit)
    return json.loads(output)


def corpora(options):
    """(corpus, size, train, test) of every measured split."""
    found = []
    help_train = os.path.join(options.help_corpus, "train-raw.tsv")
    if not options.smoke:
        found.append(("help-zh", count_lines(help_train), help_train,
                      os.path.join(options.help_corpus, "test-raw.tsv")))
    for name in ("mixed", "manpages"):
        for size in ((2000,) if options.smoke else (2000, 8000)):
            found.append((name, size, os.path.join(options.data, name, f"train-{size}.tsv"),
                          os.path.join(options.data, name, "test.tsv")))
    return found


def count_lines(path):
    with open(path, encoding="utf-8") as f:
        return sum(1 for _ in f)


def key(corpus, size, system):
    return f"{corpus}/{size}/{system}"


def measure(options, results):
    splits = corpora(options)
    systems = {None: list(SYSTEMS), "variants": [], "scale": []}.get(options.only, [options.only])
    for corpus, size, train, test in splits:
        for system in systems:
            say(f"{system} on {corpus}, {size} documents")
            started = time.monotonic()
            if system == "wenlei":
                r = measure_wenlei(options.wenlei, train, test, options.train_options)
            else:
                r = measure_peer(system, train, test)
            r["wall_seconds"] = time.monotonic() - started
            results[key(corpus, size, system)] = r
            say(f"  accuracy {r['accuracy']:.4f}, {r['cpu_seconds']:.1f} s CPU")
    variants = [(name, text.split()) for name, text in VARIANTS] + options.variant
    if options.only in (None, "variants") and not options.no_variants:
        for corpus, size, train, test in splits:
            for name, train_options in variants:
                say(f"variant {name} on {corpus}, {size} documents")
                r = measure_wenlei(options.wenlei, train, test, train_options)
                r["options"] = " ".join(train_options)
                results[key(corpus, size, "variant " + name)] = r
    if options.scale and options.only in (None, "scale"):
        bench_scale.measure(options, results, measure_wenlei, measure_peer, evaluate, say)
    if not options.smoke and options.only in (None, "wenlei"):
        results["bundled"] = bundled_figures(options)


def bundled_figures(options):
    """The bundled set's held-out and out-of-domain figures."""
    models = os.path.join(os.path.dirname(os.path.dirname(HERE)), "models", "help-zh")
    held_out = evaluate(options.wenlei, models, os.path.join(options.help_corpus, "test.tsv"),
                        raw=False)
    far = evaluate(options.wenlei, models, os.path.join(options.ood, "far.tsv"))
    near = evaluate(options.wenlei, models, os.path.join(options.ood, "near.tsv"))
    return {"accuracy": held_out["accuracy"], "macro_f1": held_out["macro_f1"],
            "documents": held_out["documents"], "unknown_rate": held_out["unknown_rate"],
            "far_flagged": far["out_of_domain_unknown_rate"],
            "far_documents": far["out_of_domain_documents"],
            "near_flagged": near["out_of_domain_unknown_rate"],
            "near_documents": near["out_of_domain_documents"]}


def best_peer(results, corpus, size):
    """(system, figures) of the most accurate peer on a split, the first of
    PEERS on a tie; None without peers."""
    measured = [(s, results[key(corpus, size, s)]) for s in PEERS
                if key(corpus, size, s) in results]
    return max(measured, key=lambda m: m[1]["accuracy"], default=None)


def at_or_above_best(accuracy, results, corpus, size):
    best = best_peer(results, corpus, size)
    return best is not None and accuracy >= best[1]["accuracy"] - 1e-5


def difference(figures, other):
    """figures' accuracy minus other's, signed, to 4 places (never "-0.0000")."""
    return f"{round(figures['accuracy'] - other['accuracy'], 4) + 0.0:+.4f}"


def beside_peers(splits, results):
    """The report's table of wenlei's defaults beside every peer, split by split."""
    lines = ["", "## Beside the peers", "",
             "Held-out accuracy of wenlei's defaults (with what the cross-validation "
             "chose to read) and of every peer, the best peer's in bold; wenlei's "
             "training CPU time divided by each scikit-learn grid's.", "",
             "| corpus | " + " | ".join(SHORT_NAMES[s] for s in SYSTEMS) +
             " | wenlei − best peer | " +
             " | ".join(f"CPU ÷ {SHORT_NAMES[g]}" for g in GRIDS) + " |",
             "|---|" + "---|" * (len(SYSTEMS) + 1 + len(GRIDS))]
    for corpus, size, _, _ in splits:
        w = results[key(corpus, size, "wenlei")]
        best = best_peer(results, corpus, size)
        cells = [f"{w['accuracy']:.4f}" + (f" ({w['reads']})" if w.get("reads") else "")]
        for peer in PEERS:
            r = results.get(key(corpus, size, peer))
            bold = "**" if best and best[0] == peer else ""
            cells.append(f"{bold}{r['accuracy']:.4f}{bold}" if r else "")
        cells.append(f"{difference(w, best[1])} ({SHORT_NAMES[best[0]]})" if best else "")
        for grid in GRIDS:
            r = results.get(key(corpus, size, grid))
            cells.append(f"{w['cpu_seconds'] / r['cpu_seconds']:.2f}×" if r else "")
        lines.append(f"| {corpus} {size:,} | " + " | ".join(cells) + " |")
    return lines


def verdict(met):
    return "met" if met else "**missed**"


def render(options, results):
    splits = [s for s in corpora(options) if key(s[0], s[1], "wenlei") in results]
    lines = ["# Training benchmark", "",
             "Written by `scripts/bench-train`. Every system trains on the same raw "
             "training split and is scored on the same held-out split of raw text. "
             "CPU time is user + system time of training, segmentation included on "
             "every side: `wenlei train --raw` as one child process (from wait4), the "
             "peers from the start of their Python process (interpreter and, where "
             "they read words, jieba's dictionary included) to the end of training. "
             "Peak RSS is the training "
             "process's. The machine has 2 cores shared with other work, so CPU time, "
             "not wall-clock time, is compared.", ""]
    meta = results.get("meta", {})
    lines += ["| | |", "|---|---|"]
    for name in ("date", "machine", "load", "wenlei options", "trainer"):
        if name in meta:
            lines.append(f"| {name} | {meta[name]} |")
    lines += ["", "The corpora (`scripts/corpus/debian_corpora.py`, seed 1): **help-zh** "
              "is the bundled set's LibreOffice help split (`scripts/prepare-corpus`, "
              "raw pages, 8 classes); **mixed** has five classes of paragraphs: "
              "commands (manpages-zh section 1), concepts (section 7), administration "
              "(section 8), sayings (fortunes-zh) and the Debian reference manual "
              "(debian-reference-zh-cn); **manpages** has the manual's sections as "
              "five classes (1, 2+3, 4+5, 7, 8). Their held-out splits have 2,000 "
              "documents; the 2,000-document training split is a stratified part "
              "of the 8,000.", "",
              "## Accuracy and time", "",
              "| corpus | training documents | system | CPU s | accuracy | macro-F1 | peak RSS MB |",
              "|---|---|---|---|---|---|---|"]
    for corpus, size, _, _ in splits:
        for system in SYSTEMS:
            r = results.get(key(corpus, size, system))
            if r:
                lines.append(f"| {corpus} | {size:,} | {SYSTEM_NAMES[system]} | "
                             f"{r['cpu_seconds']:.1f} | {r['accuracy']:.4f} | "
                             f"{r['macro_f1']:.4f} | {r['peak_rss_mb']:.0f} |")
    lines += beside_peers(splits, results)
    lines += ["", "## Goals", "",
              "| figure | value | goal | verdict |", "|---|---|---|---|"]
    for corpus, size, _, _ in splits:
        w = results[key(corpus, size, "wenlei")]
        best = best_peer(results, corpus, size)
        if best:
            lines.append(f"| {corpus} {size:,}: accuracy, wenlei − best peer ({SHORT_NAMES[best[0]]}) | "
                         f"{w['accuracy']:.4f} − {best[1]['accuracy']:.4f} = "
                         f"{difference(w, best[1])} | ≥ 0 | "
                         f"{verdict(at_or_above_best(w['accuracy'], results, corpus, size))} |")
        grid = results.get(key(corpus, size, "sklearn-grid"))
        if grid:
            ratio = w["cpu_seconds"] / grid["cpu_seconds"]
            lines.append(f"| {corpus} {size:,}: CPU time, wenlei ÷ sklearn words grid | "
                         f"{ratio:.2f}× | ≤ 1.00× | {verdict(ratio <= 1.0)} |")
    for corpus in ("mixed", "manpages"):
        small, large = (results.get(key(corpus, n, "wenlei")) for n in (2000, 8000))
        if small and large:
            growth = large["cpu_seconds"] / small["cpu_seconds"]
            peer_growth = ", ".join(
                f"{s} {results[key(corpus, 8000, s)]['cpu_seconds'] / results[key(corpus, 2000, s)]['cpu_seconds']:.2f}×"
                for s in PEERS if key(corpus, 8000, s) in results
                and key(corpus, 2000, s) in results)
            lines.append(f"| {corpus}: CPU time, 8,000 ÷ 2,000 documents | {growth:.2f}× "
                         f"(peers: {peer_growth}) | ≤ 10× | {verdict(growth <= 10)} |")
    for figure, value, goal, met in bench_scale.goals(results):
        lines.append(f"| {figure} | {value} | {goal} | {verdict(met)} |")
    bundled = results.get("bundled")
    if bundled:
        lines += [
            f"| bundled help-zh: held-out accuracy | {bundled['accuracy']:.4f} | ≥ 0.93 | "
            f"{verdict(bundled['accuracy'] >= 0.93)} |",
            f"| bundled help-zh: held-out macro-F1 | {bundled['macro_f1']:.4f} | ≥ 0.89 | "
            f"{verdict(bundled['macro_f1'] >= 0.89)} |",
            f"| bundled help-zh: far out-of-domain flagged unknown | "
            f"{bundled['far_flagged']:.4f} of {bundled['far_documents']:,} | ≥ 0.90 | "
            f"{verdict(bundled['far_flagged'] >= 0.90)} |",
            f"| bundled help-zh: in-domain flagged unknown | {bundled['unknown_rate']:.4f} "
            f"of {bundled['documents']} | ≤ 0.05 | {verdict(bundled['unknown_rate'] <= 0.05)} |",
            f"| bundled help-zh: near out-of-domain flagged unknown (manpages-zh) | "
            f"{bundled['near_flagged']:.4f} of {bundled['near_documents']:,} | reported | |"]
    lines += ["", "## How the defaults were chosen", "",
              "The defaults of `wenlei train` for the linear kernel are liblinear's "
              "L2-loss SVM (dual) one-vs-one -- one binary model per pair of classes, "
              "trained on those two classes' documents alone, written exactly as a "
              "libsvm model with one support vector per pair -- over the words of the "
              "training documents (`--min-df 1`, no stop list), the best 1,000, "
              "2,000, 4,000 or all of them (class-turns ranking, selected inside the "
              "folds) as the vocabulary and the cost from 1/16 to 8 (powers of two) "
              "chosen by 5-fold cross-validation, which also chooses what the set "
              "reads: its words alone or its words and their runs of 1 to 2 "
              "characters (`--reads words,words+chars1-2`). The table below measures the "
              "choices on every split: one-vs-one against one-vs-rest, the solvers, "
              "`--min-df`, the vocabulary, class weights and what a set reads (every "
              "row spells out its `--reads`); the row with the most splits at or "
              "above the best peer became the defaults. The confidence counts "
              "content words only in its known-word share (punctuation and numbers "
              "count on neither side), which keeps far out-of-domain text flagged "
              "without a stop list. The dual solvers stop at a tolerance of 0.01, "
              "not liblinear's 0.1: at 0.1 the held-out answers had not settled (one "
              "document fewer right on each split), at 0.01 they are those of 0.001."]
    variants = sorted({k.split("/", 2)[2] for k in results if "/variant " in k})
    if variants:
        lines += ["", "## Choices measured", "",
                  "Each variant is `wenlei train --raw` with the options shown, scored on "
                  "the held-out splits (accuracy / CPU s of training; ✓: at or above the "
                  "best peer's accuracy).", "",
                  "| variant | " + " | ".join(f"{c} {s:,}" for c, s, _, _ in splits) + " |",
                  "|---|" + "---|" * len(splits)]
        defaults = [results[key(c, n, "wenlei")] for c, n, _, _ in splits]
        lines.append("| **defaults** | " + " | ".join(
            f"**{r['accuracy']:.4f}**"
            f"{' ✓' if at_or_above_best(r['accuracy'], results, c, n) else ''}"
            f" / {r['cpu_seconds']:.1f}" for r, (c, n, _, _) in zip(defaults, splits)) + " |")
        for variant in variants:
            cells = []
            for corpus, size, _, _ in splits:
                r = results.get(key(corpus, size, variant))
                mark = " ✓" if r and at_or_above_best(r["accuracy"], results, corpus, size) else ""
                cells.append(f"{r['accuracy']:.4f}{mark} / {r['cpu_seconds']:.1f}" if r else "")
            name = variant[len("variant "):]
            shown = next((results[key(c, n, variant)]["options"] for c, n, _, _ in splits
                          if key(c, n, variant) in results), "")
            lines.append(f"| {name} (`{shown}`) | " + " | ".join(cells) + " |")
    lines += ["", "Peers: " + "; ".join(f"**{SYSTEM_NAMES[s]}**" for s in PEERS) +
              ": `scripts/corpus/train_peers.py` (jieba in its default mode; TF-IDF "
              "with sublinear tf and case kept, fitted inside each fold; the "
              "characters' TF-IDF reads the raw text, spaces included, and beside "
              "the words' it is a second block of the same vector; costs 1/16 to 8 "
              "by powers of two; fastText with the parameters of "
              "`scripts/compare-peers`, word bigrams among them).", ""]
    return "\n".join(lines)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--wenlei", required=True)
    parser.add_argument("--evaluator", help="the wenlei command that scores (default: --wenlei)")
    parser.add_argument("--data", required=True)
    parser.add_argument("--help-corpus", required=True)
    parser.add_argument("--ood", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--smoke", action="store_true")
    parser.add_argument("--only", choices=SYSTEMS + ("variants", "scale"))
    parser.add_argument("--scale", action="store_true")
    parser.add_argument("--no-variants", action="store_true",
                        help="leave out the choices the defaults were picked from")
    parser.add_argument("--variant", action="append", default=[], metavar="NAME=OPTIONS",
                        type=lambda text: (text.partition("=")[0], text.partition("=")[2].split()),
                        help="also measure `wenlei train --raw OPTIONS` (repeatable)")
    parser.add_argument("train_options", nargs="*")
    options = parser.parse_args(argv)
    if options.evaluator:
        EVALUATOR.append(options.evaluator)
    store = os.path.join(options.data, "results-smoke.json" if options.smoke else "results.json")
    results = {}
    if options.only and os.path.exists(store):
        with open(store, encoding="utf-8") as f:
            results = json.load(f)
    load_before = " ".join(f"{x:.2f}" for x in os.getloadavg())
    measure(options, results)
    results["meta"] = {
        "date": datetime.datetime.utcnow().strftime("%Y-%m-%d %H:%M UTC"),
        "machine": f"{platform.machine()}, {os.cpu_count()} cores, {platform.system()}",
        "load": f"{load_before} before, "
                f"{' '.join(f'{x:.2f}' for x in os.getloadavg())} after",
        "wenlei options": "`--raw " + " ".join(options.train_options) + "`",
        "trainer": next((r["trainer"] for k, r in results.items()
                         if k.endswith("/wenlei") and r.get("trainer")), "")}
    with open(store, "w", encoding="utf-8") as f:
        json.dump(results, f, ensure_ascii=False, indent=1)
    plot_name = os.path.splitext(os.path.basename(options.out))[0].lower() + "-scale.png"
    bench_scale.plot(results, os.path.join(os.path.dirname(os.path.abspath(options.out)), plot_name))
    with open(options.out, "w", encoding="utf-8") as f:
        f.write(render(options, results) + "\n".join(bench_scale.render(results, plot_name)) + "\n")
    say(f"wrote {options.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
