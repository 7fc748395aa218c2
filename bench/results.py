"""Writes bench/RESULTS.md from one run of scripts/bench.

Usage: results.py --dir RESULTS_DIR [--command TEXT] > RESULTS.md

RESULTS_DIR holds what scripts/bench gathered: benchmarks.json (Google
Benchmark's JSON output with repetitions), facts.json (what wenlei_bench
measured on), memory.jsonl (one wenlei_bench_memory line per process),
machine.json, and peers.json when the peers ran (peers.log otherwise).

Every ratio divides two medians of the same run; the repetitions of subject
and reference were interleaved at random, so both saw the same machine.
"""

import argparse
import json
import os
import re
import statistics
import sys


class Figures:
    """Medians of the benchmark repetitions, by benchmark name."""

    def __init__(self, path):
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
        self.context = data.get("context", {})
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

    def seconds(self, name, kind="real"):
        run = self.medians[name]
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run.get("time_unit", "ns")]
        return run[f"{kind}_time"] * scale

    def counter(self, name, key):
        return self.medians[name].get(key)


def ms(seconds):
    return f"{seconds * 1e3:.3g} ms" if seconds < 1 else f"{seconds:.3g} s"


def us(seconds):
    return f"{seconds * 1e6:.3g} µs"


def ratio_text(value):
    return f"{value:.2f}×"


def verdict(value, goal, at_most=True):
    if goal is None:
        return ""
    met = value <= goal if at_most else value >= goal
    return "met" if met else "**missed**"


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |",
             "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


def comparison_rows(fig, pairs):
    """Rows of subject against reference: wall and CPU medians and ratios."""
    rows = []
    for label, subject, reference, goal, at_most in pairs:
        if not (fig.has(subject) and fig.has(reference)):
            rows.append([label, "not measured", "", "", "", "", ""])
            continue
        wall = fig.seconds(subject) / fig.seconds(reference)
        cpu = fig.seconds(subject, "cpu") / fig.seconds(reference, "cpu")
        goal_text = "" if goal is None else ("≤ " if at_most else "≥ ") + ratio_text(goal)
        rows.append([label,
                     f"{ms(fig.seconds(subject))} / {ms(fig.seconds(subject, 'cpu'))}",
                     f"{ms(fig.seconds(reference))} / {ms(fig.seconds(reference, 'cpu'))}",
                     ratio_text(wall), ratio_text(cpu), goal_text,
                     verdict(cpu, goal, at_most)])
    return rows


COMPARISON_HEADER = ["figure", "subject: wall / CPU", "reference: wall / CPU",
                     "ratio (wall)", "ratio (CPU)", "goal", "on CPU time"]


def summary_section(fig, facts, memory, out):
    """The goals at a glance, each judged on CPU time as in the sections below."""
    out.append("## Goals\n")
    h = facts["help"]
    goals = [
        ("(a) one Classification ÷ floor, bundled resource set" if h["origin"] == "bundled"
         else "(a) one Classification ÷ floor (stand-in resource set)",
         f"single/{h['name']}/Classification", f"single/{h['name']}/floor", 1.10, True),
        ("(c) LoadSource of the 16 MB file ÷ reading its bytes", "load/LoadSource",
         "load/read bytes", 10.0, True),
        ("(f) BatchClassification of 1,000 documents ÷ load + 1,000 predictions",
         "batch/BatchClassification", "batch/floor", 1.25, True),
        ("(f) throughput of the batch ÷ 1,000 separate Classification calls",
         "batch/separate Classification", "batch/BatchClassification", 20.0, False),
    ]
    rows = []
    for label, subject, reference, goal, at_most in goals:
        if not (fig.has(subject) and fig.has(reference)):
            rows.append([label, "not measured", "", ""])
            continue
        cpu = fig.seconds(subject, "cpu") / fig.seconds(reference, "cpu")
        wall = fig.seconds(subject) / fig.seconds(reference)
        rows.append([label, f"{ratio_text(cpu)} (wall {ratio_text(wall)})",
                     ("≤ " if at_most else "≥ ") + ratio_text(goal), verdict(cpu, goal, at_most)])
    loads = [m for m in memory if m["mode"] == "load"]
    if loads:
        growth = statistics.median(m["rss_after"] - m["rss_before"] for m in loads)
        value = growth / loads[0]["file_bytes"]
        rows.append(["(c) resident memory of the loaded tables ÷ file size", ratio_text(value),
                     "≤ 3.00×", verdict(value, 3.0)])
    out.append(table(["figure", "ratio on CPU time", "goal", "verdict"], rows) + "\n")


def machine_section(machine, fig, out):
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
        ["repetitions", f"{machine.get('repetitions', '?')} per figure, interleaved at random "
                        "(3 for the 1,000 separate classifications)"],
    ]
    for name in ("fasttext", "sklearn", "python"):
        if machine.get(name):
            rows.append([name, machine[name]])
    out.append(table(["", ""], rows) + "\n")


def help_set_text(facts):
    h = facts["help"]
    return (f"{h['origin']}: {h['classes']} classes, {h['kernel']} kernel, "
            f"{h['support_vectors']} support vectors with {h['model_non_zeros']} non-zero "
            f"values, SVMModel {h['model_bytes'] / 1e6:.2f} MB, Source.dat "
            f"{h['source_bytes'] / 1e6:.2f} MB")


def single_section(fig, facts, out):
    h = facts["help"]
    out.append("## One classification against the floor and against svm-predict\n")
    out.append(
        f"Resource set: {help_set_text(facts)}. Document: the test document of median "
        f"known-word count ({h['typical_document_words']} words, "
        f"{h['typical_document_known_words']} known, {h['typical_document_features']} "
        "features). Classification goes through the shared library's exports on a "
        "temporary copy of the resource set. The floor is what libsvm alone needs for "
        "the same answer: svm_load_model of the same SVMModel, svm_predict_probability "
        "of the same vector (the weights as the test file carries them, six significant "
        "digits), svm_free_and_destroy_model"
        + (" — checked to give the very result line the library writes."
           if facts.get("floor_matches_library") else
           " — **the floor's result line differed from the library's in this run**.")
        + "\n")
    prefix = f"single/{h['name']}"
    out.append(table(COMPARISON_HEADER, comparison_rows(fig, [
        ("(a) Classification ÷ floor", f"{prefix}/Classification", f"{prefix}/floor", 1.10, True),
    ])) + "\n")
    process = f"{prefix}/svm-predict process"
    if fig.has(process) and fig.has(f"{prefix}/Classification"):
        classify_wall = fig.seconds(f"{prefix}/Classification")
        classify_cpu = fig.seconds(f"{prefix}/Classification", "cpu")
        process_wall = fig.seconds(process)
        child_cpu = fig.counter(process, "child_cpu_time") or 0.0
        process_cpu = child_cpu + fig.seconds(process, "cpu")
        out.append(
            "(b) libsvm's own `svm-predict -b 1` run as a process on the same one-line "
            "test file, as a user of plain libsvm would per document (its CPU time is "
            "the child's, from wait4):\n")
        out.append(table(["figure", "Classification: wall / CPU", "svm-predict: wall / CPU",
                          "ratio (wall)", "ratio (CPU)"], [[
            "(b) Classification ÷ svm-predict process",
            f"{ms(classify_wall)} / {ms(classify_cpu)}",
            f"{ms(process_wall)} / {ms(process_cpu)}",
            ratio_text(classify_wall / process_wall),
            ratio_text(classify_cpu / process_cpu)]]) + "\n")
    else:
        out.append("(b) svm-predict was not measured (libsvm-tools missing).\n")


def model_size_section(fig, facts, out):
    out.append("## (e) How the cost grows with the model\n")
    out.append("Generated resource sets (8 classes, linear kernel, models trained by "
               "libsvm on the library's own vectors); one classification of a document of "
               "median length, with the floor measured beside it.\n")
    rows = []
    for s in facts["model_sizes"]:
        subject, reference = f"model/{s['name']}/Classification", f"model/{s['name']}/floor"
        if not (fig.has(subject) and fig.has(reference)):
            continue
        rows.append([
            s["name"], s["support_vectors"], f"{s['highest_feature']:,}",
            f"{s['model_non_zeros']:,}", f"{s['model_bytes'] / 1e6:.2f} MB",
            f"{ms(fig.seconds(subject))} / {ms(fig.seconds(subject, 'cpu'))}",
            f"{ms(fig.seconds(reference))} / {ms(fig.seconds(reference, 'cpu'))}",
            ratio_text(fig.seconds(subject) / fig.seconds(reference)),
            ratio_text(fig.seconds(subject, "cpu") / fig.seconds(reference, "cpu")),
            fig.seconds(subject, "cpu") - fig.seconds(reference, "cpu")])
    for row in rows:
        row[-1] = ms(row[-1]) if row[-1] >= 0 else "-" + ms(-row[-1])
    out.append(table(["model", "support vectors", "features", "non-zeros", "SVMModel",
                      "Classification: wall / CPU", "floor: wall / CPU", "ratio (wall)",
                      "ratio (CPU)", "library's own CPU time"], rows) + "\n")
    out.append("The floor grows with the model (libsvm parses its text and evaluates the "
               "kernel against every support vector); what the library adds (counting, "
               "weighting, mapping, two small working files, the result's read-back) "
               "stays about the same, so the ratio falls as the model grows.\n")


def load_section(fig, facts, memory, out):
    big = facts["large_source"]
    out.append("## (c) Loading a large Source.dat\n")
    out.append(f"Generated file: {big['vocabulary']:,} vocabulary words, "
               f"{big['term_map']:,} term-map entries, {big['idf']:,} idf entries, "
               f"{big['classes']} classes and NULL; {big['file_bytes'] / 1e6:.1f} MB. "
               "Words in random order; the idf section lists the vocabulary's words in "
               "the same order, as the training tool writes it. The reference reads the "
               "file's bytes into one buffer (fopen, fread, fclose) in the same run.\n")
    out.append(table(COMPARISON_HEADER, comparison_rows(fig, [
        ("LoadSource ÷ reading the bytes", "load/LoadSource", "load/read bytes", 10.0, True),
        ("the same file with its idf records shuffled",
         "load/LoadSource, idf in its own order", "load/read bytes", 10.0, True),
    ])) + "\n")
    out.append("With the idf words in the vocabulary's order the loader reuses the "
               "vocabulary's ordering for the idf table; shuffled, that table is ordered "
               "on its own, the second line's extra cost.\n")
    loads = [m for m in memory if m["mode"] == "load"]
    reads = [m for m in memory if m["mode"] == "read"]
    if loads:
        def growth(ms_, key):
            return statistics.median(m[key] - m["rss_before"] for m in ms_)
        def peak(ms_):
            return statistics.median(m["peak_after"] - m["rss_before"] for m in ms_)
        file_bytes = loads[0]["file_bytes"]
        rows = []
        for label, runs in (("LoadSource", loads), ("reading the bytes", reads)):
            if not runs:
                continue
            after = growth(runs, "rss_after")
            rows.append([label, f"{after / 1e6:.1f} MB", ratio_text(after / file_bytes),
                         f"{growth(runs, 'rss_after_trim') / 1e6:.1f} MB",
                         f"{peak(runs) / 1e6:.1f} MB", ratio_text(peak(runs) / file_bytes)])
        out.append(
            f"Resident memory, each measurement in a process of its own "
            f"(median of {len(loads)}; file {file_bytes / 1e6:.1f} MB; growth of the "
            "resident set from just before the call; goal for the loaded tables ≤ 3×):\n")
        out.append(table(["", "resident growth", "÷ file size", "after malloc_trim",
                          "peak growth", "peak ÷ file size"], rows) + "\n")
        after = growth(loads, "rss_after") / file_bytes
        out.append(f"Loaded tables against the file: {ratio_text(after)} — "
                   f"{verdict(after, 3.0)}.\n")


def vectorise_section(fig, facts, out):
    big = facts["large_source"]
    out.append("## (d) Counting, weighting and feature mapping, per word\n")
    out.append(f"A document of {big['document_words']:,} words "
               f"({big['document_known_words']:,} known, "
               f"{big['document_distinct_known_words']:,} distinct known words, "
               f"{big['document_features']:,} features) against the "
               f"{big['vocabulary']:,}-word vocabulary above. The steps are measured "
               "cumulatively; the reference is one binary search per word in a sorted "
               "array of the vocabulary.\n")
    words = big["document_words"]
    rows = []
    reference = "vectorise/one ordered lookup per word"
    for label, name in (("counting", "vectorise/count"),
                        ("counting + weighting", "vectorise/count+weight"),
                        ("counting + weighting + feature mapping", "vectorise/count+weight+map"),
                        ("reference: one ordered lookup per word", reference)):
        if not fig.has(name):
            continue
        row = [label, f"{fig.seconds(name) * 1e9 / words:.0f} ns",
               f"{fig.seconds(name, 'cpu') * 1e9 / words:.0f} ns",
               ms(fig.seconds(name, "cpu"))]
        row.append(ratio_text(fig.seconds(name, "cpu") / fig.seconds(reference, "cpu"))
                   if fig.has(reference) else "")
        rows.append(row)
    out.append(table(["steps", "per word (wall)", "per word (CPU)", "whole document (CPU)",
                      "÷ reference (CPU)"], rows) + "\n")


def batch_section(fig, facts, out):
    n = facts["batch_documents"]
    out.append("## (f) Batch classification\n")
    out.append(f"{n:,} documents (the test documents over and over) through one "
               "BatchClassification call, against the floor of one svm_load_model and "
               f"{facts['batch_documents_with_features']:,} svm_predict_probability calls "
               "on the loaded model (vectors prepared beforehand), and against one "
               "Classification per document.\n")
    out.append(table(COMPARISON_HEADER, comparison_rows(fig, [
        (f"BatchClassification ÷ floor", "batch/BatchClassification", "batch/floor", 1.25, True),
    ])) + "\n")
    separate, batch = "batch/separate Classification", "batch/BatchClassification"
    if fig.has(separate) and fig.has(batch):
        wall = fig.seconds(separate) / fig.seconds(batch)
        cpu = fig.seconds(separate, "cpu") / fig.seconds(batch, "cpu")
        out.append(table(["figure", f"{n:,} Classification calls: wall / CPU",
                          "BatchClassification: wall / CPU", "throughput gain (wall)",
                          "throughput gain (CPU)", "goal", "on CPU time"], [[
            "separate calls ÷ batch",
            f"{ms(fig.seconds(separate))} / {ms(fig.seconds(separate, 'cpu'))}",
            f"{ms(fig.seconds(batch))} / {ms(fig.seconds(batch, 'cpu'))}",
            ratio_text(wall), ratio_text(cpu), "≥ 20.00×", verdict(cpu, 20.0, False)]]) + "\n")


def peers_section(fig, facts, peers, peers_note, out):
    out.append("## wenlei beside the peers on the corpus's test split\n")
    h = facts["help"]
    if h.get("documents_from") != "the corpus's test split":
        out.append("**To be filled:** data/corpus was not there when this ran; run "
                   "scripts/prepare-corpus, then scripts/bench again.\n")
        return
    n = h["test_documents"]
    rows = []
    separate = "batch/separate Classification"
    whole = "corpus/BatchClassification of the test documents"
    per_doc = fig.seconds(separate) / facts["batch_documents"] if fig.has(separate) else None
    rows.append([f"wenlei ({'bundled help-zh' if h['origin'] == 'bundled' else 'stand-in model'})",
                 f"{h['test_right'] / n:.4f}", f"{h.get('test_macro_f1', 0.0):.4f}",
                 ms(fig.seconds(whole)) if fig.has(whole) else "",
                 f"{per_doc * 1e3:.3f}" if per_doc else "",
                 "model re-read for every document"])
    if peers:
        for name, r in peers["peers"].items():
            rows.append([name, f"{r['accuracy']:.4f}", f"{r['macro_f1']:.4f}",
                         ms(r["predict_all_seconds"]),
                         f"{r['predict_one_ms_mean']:.3f}",
                         "model in memory" + (", whole set including loading it"
                                              if name == "fastText" else "")])
    out.append(table(["classifier", "accuracy", "macro-F1", f"whole test split ({n} documents)",
                      "ms per document, one at a time", "note"], rows) + "\n")
    if not peers:
        out.append(f"**Peers not measured in this run**: {peers_note}. Rerun scripts/bench "
                   "once scripts/compare-peers works.\n")
        return
    out.append(
        "wenlei's accuracy counts the first name of an answer (an answer naming two classes "
        f"counts for the first; {h['test_ambiguous']} of {n} did). Its per-document time is "
        "the mean of the 1,000 separate Classification calls above; the whole split is one "
        "BatchClassification call. The peers' figures come from scripts/compare-peers in the "
        "same scripts/bench run, on the same machine: mean milliseconds of predicting one "
        "document at a time with the model already in memory, and the whole split in one "
        "call.\n")
    fastest = min(peers["peers"].items(), key=lambda item: item[1]["predict_one_ms_mean"])
    if per_doc:
        out.append(
            f"The peers are far faster per document ({fastest[0]}: "
            f"{fastest[1]['predict_one_ms_mean']:.3f} ms against wenlei's {per_doc * 1e3:.1f} ms). "
            "That is the design, not the vectorisation: every Classification reads and parses "
            "the whole SVMModel text again (libsvm's svm_load_model, mostly strtod), which is "
            "nearly all of its time (see (a)), while the peers keep their model in memory. "
            "Their models are also linear: one weight vector per class, so a prediction is a "
            "sparse dot product per class. A libsvm model, even with the linear kernel, keeps "
            "its support vectors and evaluates the kernel against every one of them for every "
            "document, so even the batch path, which reads the model once, costs about "
            + (f"{fig.seconds(whole) / n * 1e3:.2f} ms per document" if fig.has(whole) else
               "a support-vector pass per document")
            + ", and the floor of (f) shows that this is libsvm's own prediction time.\n")


def analysis_section(fig, facts, out):
    out.append("## Where the time goes\n")
    out.append(
        "- One classification: the floor (libsvm reading the model text and predicting) is "
        "nearly all of it. Profiles (perf, callgrind) of svm_load_model show strtod, strtok, "
        "strspn and strcspn on the model text: that is the dependency's, and every call pays "
        "it because the model is re-read by design. The library's own part is counting, "
        "weighting and mapping the document, writing the one-line test file, libsvm's "
        "reading of that line, writing and reading back the result file.\n"
        "- Batch: libsvm's Kernel::dot (the kernel against every support vector) is about "
        "three quarters of the profile; the library's counting, weighting and mapping of "
        "1,000 documents (some of them long) is most of the rest.\n"
        "- Loading: reading the sections is one bulk read each; the tables are built by a "
        "radix sort of each section on its words' first four bytes (only words sharing "
        "those are compared whole) and one copy of every field into place, the records "
        "being read ahead. What remains is building 450,000 strings and the memory they "
        "need.\n"
        "- Working files: they are written over their old contents and cut to length. "
        "Truncating them first (fopen's \"w\") made ext4 force both files to disk at "
        "every classification, a wait of about 2 ms each on this machine, more than the "
        "small model's whole prediction.\n")


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

    fig = Figures(os.path.join(args.dir, "benchmarks.json"))
    facts = load("facts.json")
    machine = load("machine.json", {})
    memory = load("memory.jsonl", [])
    peers = load("peers.json")
    peers_log = (load("peers.log", "") or "").strip().splitlines()
    peers_note = peers_log[-1] if peers_log else "scripts/compare-peers did not run"

    out = ["# Benchmark results\n",
           f"Written by `{args.command}`; every figure below comes from that one run. "
           "Times are medians of interleaved repetitions, given as wall-clock / CPU time of "
           "the benchmark thread. Ratios divide two medians of the same run. The machine is "
           "shared with other work, so wall-clock time is inflated by waiting for a core; "
           "the goals are judged on CPU time, which that waiting does not touch, with the "
           "wall-clock ratio beside it.\n"]
    summary_section(fig, facts, memory, out)
    machine_section(machine, fig, out)
    single_section(fig, facts, out)
    model_size_section(fig, facts, out)
    load_section(fig, facts, memory, out)
    vectorise_section(fig, facts, out)
    batch_section(fig, facts, out)
    peers_section(fig, facts, peers, peers_note, out)
    analysis_section(fig, facts, out)
    sys.stdout.write("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
