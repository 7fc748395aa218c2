"""The scale run of the training benchmark: `wenlei train --raw` with its
defaults on 8,000 up to 1,000,000 distinct generated documents (the
`scale/train-N.tsv` files of debian_corpora.py --scale), beside the
scikit-learn words grid where it finishes within the budget; CPU time and
peak memory of the whole process tree, the held-out accuracy on the mixed
corpus's real test split, the share of it flagged unknown and the share of
far out-of-domain text flagged. bench_train.py calls measure() and
render(); plot() draws the figures as a PNG.
"""

import os

SIZES = (8000, 64000, 512000, 1000000)
BUDGET_CPU_SECONDS = 30 * 60
BUDGET_PEAK_MB = 4096
GROWTH_GOAL = 8.5


def measure(options, results, measure_wenlei, measure_peer, evaluate, say):
    test = os.path.join(options.data, "mixed", "test.tsv")
    far = os.path.join(options.ood, "far.tsv")
    peer_fits = True
    for size in SIZES:
        train = os.path.join(options.data, "scale", f"train-{size}.tsv")
        say(f"wenlei on {size:,} generated documents")
        r = measure_wenlei(options.wenlei, train, test, options.train_options,
                           extra=lambda directory: far_flagged(evaluate, options, directory, far))
        results[f"scale/{size}/wenlei"] = r
        say(f"  {r['cpu_seconds']:.0f} s CPU, {r['peak_rss_mb']:.0f} MB, accuracy "
            f"{r['accuracy']:.4f}, unknown {r['unknown_rate']:.3f}")
        if peer_fits:
            say(f"sklearn-grid on {size:,} generated documents")
            try:
                p = measure_peer("sklearn-grid", train, test, cpu_limit=BUDGET_CPU_SECONDS)
            except RuntimeError as error:
                say(f"  not finished within {BUDGET_CPU_SECONDS} s of CPU: {error}")
                peer_fits = False
                continue
            results[f"scale/{size}/sklearn-grid"] = p
            # The next size holds eight times the documents: a run that took
            # more than an eighth of the budget would not finish within it.
            peer_fits = p["cpu_seconds"] * 8 <= BUDGET_CPU_SECONDS


def far_flagged(evaluate, options, directory, far):
    if not os.path.exists(far):
        return {}
    scored = evaluate(options.wenlei, directory, far)
    return {"far_flagged": scored.get("out_of_domain_unknown_rate")}


def rows(results, system):
    return [(size, results[f"scale/{size}/{system}"]) for size in SIZES
            if f"scale/{size}/{system}" in results]


def render(results, plot_name):
    ours = rows(results, "wenlei")
    if not ours:
        return []
    peer = dict(rows(results, "sklearn-grid"))
    lines = ["", "## Scale", "",
             "`wenlei train --raw` with its defaults on distinct generated documents "
             "(`scripts/corpus/debian_corpora.py --scale`: each joins two to six sentences "
             "drawn from one class's training paragraphs of the mixed corpus, none repeated), "
             "scored on the mixed corpus's real held-out split; CPU time and peak memory of "
             "the whole process tree. The scikit-learn words grid runs while a size took "
             "less than an eighth of the budget.", "",
             f"![CPU time and peak memory against documents]({plot_name})", "",
             "| documents | CPU time | CPU growth over the size before | peak memory | chose | accuracy | "
             "unknown (in-domain) | far flagged | words grid: CPU, memory, accuracy |",
             "|---|---|---|---|---|---|---|---|---|"]
    previous = None
    for size, r in ours:
        growth = "-"
        if previous is not None:
            growth = f"{r['cpu_seconds'] / previous[1]:.1f}× for {size / previous[0]:.3g}× the documents"
        previous = (size, r["cpu_seconds"])
        p = peer.get(size)
        peer_cell = (f"{p['cpu_seconds']:.0f} s, {p['peak_rss_mb']:.0f} MB, {p['accuracy']:.4f}"
                     if p else "not run, or not finished within the budget")
        far = r.get("far_flagged")
        lines.append(
            f"| {size:,} | {r['cpu_seconds']:.0f} s | {growth} | {r['peak_rss_mb']:.0f} MB | "
            f"{r.get('chosen', '')} | {r['accuracy']:.4f} | {100 * r['unknown_rate']:.1f} % | "
            f"{'-' if far is None else f'{100 * far:.1f} %'} | {peer_cell} |")
    return lines


def goals(results):
    """(figure, value, goal, met) rows for the goals table."""
    ours = dict(rows(results, "wenlei"))
    found = []
    growths = [ours[b]["cpu_seconds"] / ours[a]["cpu_seconds"]
               for a, b in zip(SIZES, SIZES[1:]) if a in ours and b in ours and b == 8 * a]
    if growths:
        found.append(("scale: CPU time of eightfold documents",
                      ", ".join(f"{g:.1f}×" for g in growths), f"≤ {GROWTH_GOAL}× each",
                      all(g <= GROWTH_GOAL for g in growths)))
    big = ours.get(SIZES[-1])
    if big:
        found.append((f"scale: {SIZES[-1]:,} documents, CPU time and peak memory",
                      f"{big['cpu_seconds'] / 60:.1f} min, {big['peak_rss_mb']:.0f} MB",
                      f"≤ {BUDGET_CPU_SECONDS // 60} min, ≤ {BUDGET_PEAK_MB // 1024} GB",
                      big["cpu_seconds"] <= BUDGET_CPU_SECONDS
                      and big["peak_rss_mb"] <= BUDGET_PEAK_MB))
    return found


def plot(results, path):
    ours = rows(results, "wenlei")
    if not ours:
        return
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as pyplot
    peer = rows(results, "sklearn-grid")
    figure, (time_axes, memory_axes) = pyplot.subplots(1, 2, figsize=(10, 4))
    for axes, key, label in ((time_axes, "cpu_seconds", "CPU time (s)"),
                             (memory_axes, "peak_rss_mb", "peak memory (MB)")):
        axes.plot([s for s, _ in ours], [r[key] for _, r in ours], "o-", label="wenlei (defaults)")
        if peer:
            axes.plot([s for s, _ in peer], [r[key] for _, r in peer], "s--",
                      label="jieba + TF-IDF + LinearSVC grid")
        axes.set_xscale("log")
        axes.set_yscale("log")
        axes.set_xlabel("documents")
        axes.set_ylabel(label)
        axes.grid(True, which="both", alpha=0.3)
    time_axes.axhline(BUDGET_CPU_SECONDS, color="grey", linestyle=":", label="budget")
    memory_axes.axhline(BUDGET_PEAK_MB, color="grey", linestyle=":", label="budget")
    time_axes.legend(loc="upper left", fontsize="small")
    figure.suptitle("Training time and memory against corpus size")
    figure.tight_layout()
    figure.savefig(path, dpi=100)
    pyplot.close(figure)
