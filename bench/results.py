"""Writes bench/RESULTS.md from one run of scripts/bench.

Usage: results.py --dir RESULTS_DIR [--command TEXT] > RESULTS.md

RESULTS_DIR holds what scripts/bench gathered: benchmarks.json (Google
Benchmark's JSON output with repetitions), facts.json (what wenlei_bench
measured on), memory.jsonl (one wenlei_bench_memory line per process),
machine.json, and peers.json when the peers ran (peers.log either way).

Each figure is a pair: subject and reference timed alternately inside every
iteration of one benchmark, so both see the same machine.  A repetition
gives each side's mean time per iteration and the ratio of their totals;
the figures below are the medians over the repetitions.
"""

import argparse
import json
import os
import re
import statistics
import sys


class Pairs:
    """Medians over the repetitions of each paired benchmark, by name."""

    def __init__(self, path):
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
        self.medians = {}
        self.repetitions = {}
        for run in data.get("benchmarks", []):
            name = re.sub(r"/(real_time|iterations:\d+|repeats:\d+)", "",
                          run.get("run_name", run["name"]))
            if run.get("run_type") == "aggregate":
                if run.get("aggregate_name") == "median":
                    self.medians[name] = run
            else:
                self.repetitions[name] = self.repetitions.get(name, 0) + 1

    def has(self, name):
        return name in self.medians

    def get(self, name, key):
        """A counter's median: seconds for the sides' times, a ratio else."""
        return self.medians[name][key]

    def seconds(self, name, kind="real"):
        """The benchmark's own time (for benchmarks that are no pair)."""
        run = self.medians[name]
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run.get("time_unit", "ns")]
        return run[f"{kind}_time"] * scale


def ms(seconds):
    return f"{seconds * 1e3:.3g} ms" if seconds < 1 else f"{seconds:.3g} s"


def times(pairs, name, side):
    return f"{ms(pairs.get(name, side + '_wall'))} / {ms(pairs.get(name, side + '_cpu'))}"


def ratio_text(value):
    return f"{value:.2f}×"


def verdict(value, goal, at_most=True):
    if goal is None:
        return ""
    met = value <= goal if at_most else value >= goal
    return "met" if met else "**missed**"


def goal_text(goal, at_most=True):
    return "" if goal is None else ("≤ " if at_most else "≥ ") + ratio_text(goal)


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |",
             "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


PAIR_HEADER = ["figure", "subject: wall / CPU", "reference: wall / CPU", "ratio (wall)",
               "ratio (CPU)", "goal", "on CPU time"]


def pair_rows(pairs, figures):
    rows = []
    for label, name, goal, at_most in figures:
        if not pairs.has(name):
            rows.append([label, "not measured", "", "", "", goal_text(goal, at_most), ""])
            continue
        cpu = pairs.get(name, "ratio_cpu")
        rows.append([label, times(pairs, name, "subject"), times(pairs, name, "reference"),
                     ratio_text(pairs.get(name, "ratio_wall")), ratio_text(cpu),
                     goal_text(goal, at_most), verdict(cpu, goal, at_most)])
    return rows


def help_name(facts):
    return f"single/{facts['help']['name']}"


def goals_section(pairs, facts, memory, peers, out):
    out.append("## Goals\n")
    h = facts["help"]
    which = "bundled resource set" if h["origin"] == "bundled" else "stand-in resource set"
    goals = [
        (f"(a) one Classification ÷ floor, {which}", f"{help_name(facts)}/Classification vs floor",
         0.10, True),
        ("(e) one Classification ÷ floor, large generated model",
         "model/large/Classification vs floor", 0.10, True),
        ("the working-file lock that processes sharing a prefix take turns on ÷ one "
         "Classification", f"{help_name(facts)}/working-file lock vs Classification", 0.02, True),
        ("(c) LoadSource of the 16 MB file ÷ reading its bytes", "load/LoadSource vs read bytes",
         10.0, True),
        ("(f) BatchClassification of 1,000 documents ÷ one load + 1,000 predictions",
         "batch/BatchClassification vs floor", 1.25, True),
    ]
    rows = []
    for label, name, goal, at_most in goals:
        if not pairs.has(name):
            rows.append([label, "not measured", goal_text(goal, at_most), ""])
            continue
        cpu = pairs.get(name, "ratio_cpu")
        rows.append([label, f"{ratio_text(cpu)} (wall {ratio_text(pairs.get(name, 'ratio_wall'))})",
                     goal_text(goal, at_most), verdict(cpu, goal, at_most)])
    loads = [m for m in memory if m["mode"] == "load"]
    if loads:
        growth = statistics.median(m["rss_after"] - m["rss_before"] for m in loads)
        value = growth / loads[0]["file_bytes"]
        rows.append(["(c) resident memory of the loaded tables ÷ file size", ratio_text(value),
                     "≤ 3.00×", verdict(value, 3.0)])
    modern = "modern/words vs raw text, one document at a time"
    fasttext = (peers or {}).get("peers", {}).get("fastText")
    if pairs.has(modern) and fasttext:
        per_doc = pairs.get(modern, "subject_cpu") / facts["modern_documents"]
        value = per_doc * 1e3 / fasttext["predict_one_ms_mean"]
        rows.append(["(g) modern interface per document, words given ÷ fastText one at a time",
                     ratio_text(value), "≤ 1.00×", verdict(value, 1.0)])
    elif pairs.has(modern):
        rows.append(["(g) modern interface per document, words given ÷ fastText one at a time",
                     "fastText not measured in this run", "≤ 1.00×", ""])
    threads = "modern/one thread vs two threads on one handle"
    if pairs.has(threads):
        value = pairs.get(threads, "ratio_wall")
        rows.append(["(g) two threads on one handle ÷ one thread, throughput (wall-clock)",
                     ratio_text(value), "≥ 1.60×", verdict(value, 1.6, at_most=False)])
    out.append(table(["figure", "ratio on CPU time", "goal", "verdict"], rows) + "\n")


def machine_section(machine, out):
    out.append("## Machine and versions\n")
    rows = [
        ["date (UTC)", machine.get("date", "?")],
        ["CPU", f"{machine.get('cpu', '?')}, {machine.get('cores', '?')} cores"],
        ["memory", machine.get("memory", "?")],
        ["system", machine.get("system", "?")],
        ["load average before / after the benchmarks",
         f"{machine.get('load_before', '?')} / {machine.get('load_after', '?')}"],
        ["compiler", machine.get("compiler", "?")],
        ["build", "Release (-O3 -DNDEBUG)"],
        ["libsvm", machine.get("libsvm", "?")],
        ["Google Benchmark", machine.get("benchmark", "?")],
        ["repetitions", f"{machine.get('repetitions', '?')} per figure (3 for the 1,000 "
                        "separate classifications), in random order"],
    ]
    for name in ("fasttext", "sklearn", "python"):
        if machine.get(name):
            rows.append([name, machine[name]])
    out.append(table(["", ""], rows) + "\n")


def describe_set(s):
    return (f"{s['classes']} classes, {s['kernel']} kernel, {s['support_vectors']:,} support "
            f"vectors with {s['model_non_zeros']:,} non-zero values, SVMModel "
            f"{s['model_bytes'] / 1e6:.2f} MB, Source.dat {s['source_bytes'] / 1e6:.2f} MB")


def single_section(pairs, facts, out):
    h = facts["help"]
    origin = ("the bundled resource set models/help-zh" if h["origin"] == "bundled"
              else h["origin"])
    out.append("## (a), (b) One classification\n")
    out.append(
        f"Resource set: {origin}: {describe_set(h)}. Document: the test document of median "
        f"known-word count ({h['typical_document_words']} words, "
        f"{h['typical_document_known_words']} known, {h['typical_document_features']} "
        "features). Classification goes through the shared library's exports, on a "
        "temporary copy of the resource set, after one untimed call that parses the model "
        "(later calls find the model file unchanged). The floor is what libsvm alone needs for the "
        "same answer: svm_load_model of the same SVMModel, svm_predict_probability of the "
        "same vector (its weights as the test file carries them, six significant digits), "
        "svm_free_and_destroy_model"
        + (" — checked to give the very result line the library writes."
           if facts.get("floor_matches_library") else
           " — **the floor's result line differed from the library's in this run**.")
        + " (b) is libsvm's own `svm-predict -b 1` run as a process on the same one-line "
        "test file, as a user of plain libsvm would per document; its CPU time is the "
        "child's, from wait4.\n")
    name = help_name(facts)
    out.append(table(PAIR_HEADER, pair_rows(pairs, [
        ("(a) Classification ÷ floor", f"{name}/Classification vs floor", 0.10, True),
        ("(b) Classification ÷ svm-predict process",
         f"{name}/Classification vs svm-predict process", None, True),
        ("the library's check of the model text alone ÷ floor", f"{name}/model check vs floor",
         None, True),
        ("the working-file lock alone ÷ Classification",
         f"{name}/working-file lock vs Classification", 0.02, True),
    ])) + "\n")
    check = f"{name}/model check vs floor"
    if pairs.has(check):
        out.append(
            "The check of the model text (libsvm's loader trusts the file and crashes on some "
            "damaged ones) runs only when the model file's bytes changed, together with "
            f"libsvm's parse; alone it is {pairs.get(check, 'ratio_cpu') * 100:.0f} % of the "
            "floor. An unchanged model is neither checked nor parsed again: Classification "
            "reads the file and compares its bytes with those of the model parsed last.\n")


def model_size_section(pairs, facts, out):
    out.append("## (e) How the cost grows with the model\n")
    out.append("Generated resource sets (8 classes, linear kernel, models trained by libsvm "
               "on the library's own vectors of generated documents); one classification of "
               "a document of median length, the floor measured beside it.\n")
    rows = []
    for s in facts["model_sizes"]:
        name = f"model/{s['name']}/Classification vs floor"
        if not pairs.has(name):
            continue
        own = pairs.get(name, "subject_cpu") - pairs.get(name, "reference_cpu")
        rows.append([s["name"], f"{s['support_vectors']:,}", f"{s['highest_feature']:,}",
                     f"{s['model_non_zeros']:,}", f"{s['model_bytes'] / 1e6:.2f} MB",
                     times(pairs, name, "subject"), times(pairs, name, "reference"),
                     ratio_text(pairs.get(name, "ratio_wall")),
                     ratio_text(pairs.get(name, "ratio_cpu")), ms(own)])
    out.append(table(["model", "support vectors", "features", "non-zeros", "SVMModel",
                      "Classification: wall / CPU", "floor: wall / CPU", "ratio (wall)",
                      "ratio (CPU)", "difference (CPU)"], rows) + "\n")
    out.append("The floor grows with the model: libsvm parses the model text and evaluates "
               "the kernel against every support vector. Classification parses an unchanged "
               "model once, so what it pays per call is reading the file and comparing its "
               "bytes, the prediction itself, and a nearly fixed part: counting, weighting and "
               "mapping the document, writing the test file and reading the result back.\n")


def load_section(pairs, facts, memory, out):
    big = facts["large_source"]
    out.append("## (c) Loading a large Source.dat\n")
    out.append(f"Generated file: {big['vocabulary']:,} vocabulary words, "
               f"{big['term_map']:,} term-map entries, {big['idf']:,} idf entries, "
               f"{big['classes']} classes and NULL; {big['file_bytes'] / 1e6:.1f} MB, words "
               "in random order. LoadSource goes through the exports; the tables are emptied "
               "(untimed) after each load. The reference reads the file's bytes into one "
               "buffer (fopen, fread, fclose).\n")
    out.append(table(PAIR_HEADER, pair_rows(pairs, [
        ("LoadSource ÷ reading the bytes", "load/LoadSource vs read bytes", 10.0, True),
        ("the same with the idf records shuffled",
         "load/LoadSource, idf in its own order, vs read bytes", 10.0, True),
    ])) + "\n")
    out.append("In the first file the idf section lists the vocabulary's words in the "
               "vocabulary's order, as `wenlei train` writes it; the loader then orders the "
               "idf table with the vocabulary's ordering. The second line shuffles the idf "
               "records, so that table is ordered on its own.\n")
    loads = [m for m in memory if m["mode"] == "load"]
    reads = [m for m in memory if m["mode"] == "read"]
    if not loads:
        return

    def median(runs, key):
        return statistics.median(m[key] - m["rss_before"] for m in runs)

    file_bytes = loads[0]["file_bytes"]
    rows = []
    for label, runs in (("LoadSource", loads), ("reading the bytes", reads)):
        if not runs:
            continue
        after, peak = median(runs, "rss_after"), median(runs, "peak_after")
        rows.append([label, f"{after / 1e6:.1f} MB", ratio_text(after / file_bytes),
                     f"{median(runs, 'rss_after_trim') / 1e6:.1f} MB",
                     f"{peak / 1e6:.1f} MB", ratio_text(peak / file_bytes)])
    out.append(
        f"Resident memory, each measurement in a process of its own (median of {len(loads)}; "
        "growth of the resident set from just before the call; goal for the loaded tables "
        "≤ 3× the file):\n")
    out.append(table(["", "resident growth", "÷ file size", "after malloc_trim",
                      "peak growth", "peak ÷ file size"], rows) + "\n")


def vectorise_section(pairs, facts, out):
    big = facts["large_source"]
    words = big["document_words"]
    out.append("## (d) Counting, weighting and feature mapping, per word\n")
    out.append(f"A document of {words:,} words ({big['document_known_words']:,} known, "
               f"{big['document_distinct_known_words']:,} distinct known words, "
               f"{big['document_features']:,} features) against the "
               f"{big['vocabulary']:,}-word vocabulary above, loaded into a resource set of the "
               "core library (not through the exports). The steps are measured cumulatively, each beside the reference of "
               "one binary search per word in a sorted array of the vocabulary.\n")
    rows = []
    for label, name in (("counting", "vectorise/count vs lookups"),
                        ("counting + weighting", "vectorise/count+weight vs lookups"),
                        ("counting + weighting + feature mapping",
                         "vectorise/count+weight+map vs lookups")):
        if not pairs.has(name):
            continue
        rows.append([label, f"{pairs.get(name, 'subject_wall') * 1e9 / words:.0f} ns",
                     f"{pairs.get(name, 'subject_cpu') * 1e9 / words:.0f} ns",
                     f"{pairs.get(name, 'reference_cpu') * 1e9 / words:.0f} ns",
                     ratio_text(pairs.get(name, "ratio_cpu"))])
    out.append(table(["steps", "per word (wall)", "per word (CPU)",
                      "one lookup per word (CPU)", "ratio (CPU)"], rows) + "\n")


def batch_section(pairs, facts, out):
    n = facts["batch_documents"]
    out.append("## (f) Batch classification\n")
    out.append(f"{n:,} documents (the test documents over and over) in one "
               "BatchClassification call, against the floor of one svm_load_model, "
               f"{facts['batch_documents_with_features']:,} svm_predict_probability calls on "
               "the loaded model (vectors prepared beforehand) and svm_free_and_destroy_model; "
               "then the same documents as separate Classification calls against the batch.\n")
    out.append(table(PAIR_HEADER, pair_rows(pairs, [
        ("BatchClassification ÷ floor", "batch/BatchClassification vs floor", 1.25, True),
        (f"{n:,} separate Classification calls ÷ BatchClassification",
         "batch/separate Classification vs BatchClassification", None, False),
    ])) + "\n")
    name = "batch/BatchClassification vs floor"
    if pairs.has(name):
        batch = pairs.get(name, "subject_wall") / n
        floor = pairs.get(name, "reference_wall") / n
        out.append(f"Per document the batch takes {batch * 1e3:.3f} ms, of which libsvm's "
                   f"own prediction is {floor * 1e3:.3f} ms; the rest (counting, weighting "
                   "and mapping the words, writing the test file and reading the answers "
                   "back) does not shrink with the model, so the fewer support vectors the "
                   "model holds, the larger the ratio.\n")


def peers_section(pairs, facts, peers, peers_note, out):
    out.append("## wenlei beside the peers on the corpus's test split\n")
    h = facts["help"]
    if h.get("documents_from") != "the corpus's test split":
        out.append("**To be filled:** data/corpus was not there when this ran; run "
                   "scripts/prepare-corpus, then scripts/bench again.\n")
        return
    n = h["test_documents"]
    separate = "batch/separate Classification vs BatchClassification"
    whole = "corpus/BatchClassification of the test documents"
    per_doc = pairs.get(separate, "subject_wall") / facts["batch_documents"] \
        if pairs.has(separate) else None
    single = f"{help_name(facts)}/Classification vs floor"
    label = "wenlei, bundled help-zh" if h["origin"] == "bundled" else "wenlei, stand-in model"
    rows = [[label, f"{h['test_right'] / n:.4f}", f"{h.get('test_macro_f1', 0.0):.4f}",
             ms(pairs.seconds(whole)) if pairs.has(whole) else "",
             f"{per_doc * 1e3:.3f}" if per_doc else "",
             "one Classification per document: the model is read for each"]]
    if pairs.has(whole):
        rows.append([label + ", batch", "", "", "",
                     f"{pairs.seconds(whole) / n * 1e3:.3f}",
                     "whole split in one BatchClassification, per document"])
    if peers:
        for name, r in peers["peers"].items():
            rows.append([name, f"{r['accuracy']:.4f}", f"{r['macro_f1']:.4f}",
                         ms(r["predict_all_seconds"]), f"{r['predict_one_ms_mean']:.3f}",
                         "model in memory" + ("; whole split as one fasttext predict process, "
                                              "loading included" if name == "fastText" else "")])
    out.append(table(["classifier", "accuracy", "macro-F1", f"whole test split ({n} documents)",
                      "ms per document", "how"], rows) + "\n")
    if not peers:
        out.append(f"**Peers not measured in this run** ({peers_note}). This section is to "
                   "be filled by running scripts/bench again once scripts/compare-peers "
                   "works.\n")
        return
    out.append(
        f"wenlei's accuracy and macro-F1 count the first name of each answer "
        f"({h['test_ambiguous']} of {n} answers named two classes). Its per-document time is "
        "the mean of the 1,000 separate Classification calls of (f); the peers' times come "
        "from scripts/compare-peers in the same scripts/bench run on the same machine: the "
        "mean of predicting one document at a time with the model already in memory, and "
        "the whole split in one call.\n")
    if per_doc and pairs.has(single):
        fastest = min(peers["peers"].items(), key=lambda item: item[1]["predict_one_ms_mean"])
        out.append(
            f"Per document through the exports wenlei takes {per_doc * 1e3:.3f} ms against "
            f"{fastest[0]}'s {fastest[1]['predict_one_ms_mean']:.3f} ms: the model is parsed "
            "only when its file changed, but every Classification still reads the model file, "
            "writes the test file and reads the result file back. The modern interface of "
            "(g) does none of that. libsvm evaluates even the linear kernel against every "
            "support vector of the model for every document (the trainer writes one per "
            "pair of classes), where the peers' linear models take one sparse dot product "
            "per class. "
            "On accuracy they are all close on this small split.\n")


def modern_section(pairs, facts, peers, machine, out):
    name = "modern/words vs raw text, one document at a time"
    threads = "modern/one thread vs two threads on one handle"
    if not pairs.has(name):
        return
    n = facts["modern_documents"]
    h = facts["help"]
    out.append("## (g) The modern interface\n")
    out.append(
        f"The {n} test documents of (a)'s resource set, each classified alone through "
        "`wenlei_classify_words` (GBK words, as the exports take them) on one handle opened "
        "with `wenlei_open`; beside them the same documents as raw UTF-8 text through "
        "`wenlei_classify_text`, segmentation included (text from "
        f"{facts.get('modern_text_from', '?')}). The answers equal the exports' for every "
        "document: " + ("yes" if facts.get("modern_answers_equal_exports") else "**no**")
        + ". Then one thread classifying the words of every document twice against two "
        "threads each classifying them once, on the same handle: the ratio of wall-clock "
        "times is the throughput gain (CPU time is per thread and not comparable here).\n")
    per_words = pairs.get(name, "subject_cpu") / n
    per_text = pairs.get(name, "reference_cpu") / n
    rows = [["words given", f"{pairs.get(name, 'subject_wall') / n * 1e3:.4f}",
             f"{per_words * 1e3:.4f}"],
            ["raw UTF-8 text, segmentation included",
             f"{pairs.get(name, 'reference_wall') / n * 1e3:.4f}", f"{per_text * 1e3:.4f}"]]
    fasttext = (peers or {}).get("peers", {}).get("fastText")
    if fasttext:
        rows.append(["fastText one at a time, model in memory (scripts/compare-peers, same run)",
                     f"{fasttext['predict_one_ms_mean']:.4f}", ""])
    out.append(table(["modern interface", "ms per document (wall)", "ms per document (CPU)"],
                     rows) + "\n")
    if fasttext:
        out.append(f"Words given ÷ fastText: {per_words * 1e3 / fasttext['predict_one_ms_mean']:.2f}× "
                   f"(goal ≤ 1.00×); raw text ÷ fastText: "
                   f"{per_text * 1e3 / fasttext['predict_one_ms_mean']:.2f}×.\n")
    if pairs.has(threads):
        one_cpu = pairs.get(threads, "subject_process_cpu")
        two_cpu = pairs.get(threads, "reference_process_cpu")
        two_wall = pairs.get(threads, "reference_wall")
        out.append(table(["figure", "one thread: wall / process CPU",
                          "two threads: wall / process CPU", "throughput gain (wall)",
                          "cores the two threads used (process CPU ÷ wall)", "goal", "verdict"],
                         [["one thread ÷ two threads, same work",
                           f"{ms(pairs.get(threads, 'subject_wall'))} / {ms(one_cpu)}",
                           f"{ms(two_wall)} / {ms(two_cpu)}",
                           ratio_text(pairs.get(threads, "ratio_wall")),
                           f"{two_cpu / two_wall:.2f}", "≥ 1.60×",
                           verdict(pairs.get(threads, "ratio_wall"), 1.6, at_most=False)]]) + "\n")
        out.append(
            f"The work costs the same CPU time on two threads as on one "
            f"({ratio_text(two_cpu / one_cpu)} of it): the threads share the handle without a "
            "lock and without extra work. The throughput gain is bounded by the cores the "
            "machine gave the process while the figure ran: with load averages of "
            f"{machine.get('load_before', '?')} before the benchmarks on {machine.get('cores', '?')} "
            f"cores, the two threads had {two_cpu / two_wall:.2f} cores between them.\n")


def analysis_section(out):
    out.append("## Where the time goes\n")
    out.append(
        "- One classification through the exports: the model file is read at every call "
        "and compared with the bytes of the model parsed last; parsing and checking happen "
        "only when they differ. What remains is the file reads and writes (the model, the "
        "test file, the result file), counting, weighting and mapping, and libsvm's "
        "prediction (a kernel evaluation against every support vector).\n"
        "- The lock on the working files that processes sharing a prefix take turns on: "
        "its file stays open between classifications, so each costs two flock calls and "
        "one fstat (which notices a removed or replaced lock file).\n"
        "- The modern interface: no file at all; counting, weighting and mapping, the "
        "prediction, and the decision on the probabilities as the result file would print "
        "them. From raw text, segmentation and the conversion to GBK come first.\n"
        "- Batch: libsvm's kernel evaluations (Kernel::dot against every support vector) "
        "are most of the time; the library's counting, weighting and mapping of the 1,000 "
        "documents is most of the rest.\n"
        "- Loading: each section is read in one piece; its records are ordered by a radix "
        "sort on their words' first four bytes (only words sharing those are compared "
        "whole), and every field is copied once, into place, the records being read ahead.\n"
        "- Working files: they are written over their old contents and cut to length. "
        "Truncating them first (fopen's \"w\") made ext4 write both files through to disk "
        "at every classification, a wait of about 2 ms each on this machine.\n")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dir", required=True)
    parser.add_argument("--command", default="scripts/bench")
    args = parser.parse_args(argv)

    def load(name, default=None):
        path = os.path.join(args.dir, name)
        if not os.path.exists(path):
            return default
        with open(path, encoding="utf-8") as f:
            if name.endswith(".jsonl"):
                return [json.loads(line) for line in f if line.strip()]
            if name.endswith(".json"):
                return json.load(f)
            return f.read()

    pairs = Pairs(os.path.join(args.dir, "benchmarks.json"))
    facts = load("facts.json")
    machine = load("machine.json", {})
    memory = load("memory.jsonl", [])
    peers = load("peers.json")
    peers_log = (load("peers.log", "") or "").strip().splitlines()
    peers_note = peers_log[-1] if peers_log else "scripts/compare-peers did not run"

    out = ["# Benchmark results\n",
           f"Written by `{args.command}`; every figure comes from that one run. Each figure "
           "times its subject and its reference alternately within every iteration of one "
           "benchmark, so both see the same machine; times are medians over the repetitions "
           "of each side's mean, as wall-clock / CPU time, and ratios are medians of the "
           "repetitions' ratios. The machine is shared with other work, which inflates "
           "wall-clock time by waiting for a core, so the goals are judged on CPU time, with "
           "the wall-clock ratio beside it.\n"]
    goals_section(pairs, facts, memory, peers, out)
    machine_section(machine, out)
    single_section(pairs, facts, out)
    model_size_section(pairs, facts, out)
    load_section(pairs, facts, memory, out)
    vectorise_section(pairs, facts, out)
    batch_section(pairs, facts, out)
    peers_section(pairs, facts, peers, peers_note, out)
    modern_section(pairs, facts, peers, machine, out)
    analysis_section(out)
    sys.stdout.write("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
