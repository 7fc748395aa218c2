#!/usr/bin/env python3
"""The memory a stream of short texts takes through the Python package:
Classifier.classify_iter over a generator, against classify_many over the
same texts held in a list.

    python3 bench/classify_iter_memory.py [--count N] [--batch-size B] [--many-count N]

Each way runs in a child process of its own, which classifies the texts
with the bundled resource set, counts the labels and reports its peak
resident set (VmHWM) and its resident set once the set was opened.  Not a
test: the numbers depend on the machine; bench/RESULTS.md keeps a run.
"""

import argparse
import json
import os
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]

CHILD = r"""
import collections, itertools, json, sys, time
import wenlei

def memory(key):
    for line in open("/proc/self/status"):
        if line.startswith(key + ":"):
            return int(line.split()[1]) // 1024  # MiB
    return None

mode, count, batch = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
phrases = ["插入图表", "用 Basic 编写宏", "设置单元格格式", "幻灯片放映", "数据库表格", "公式编辑器"]
texts = ("%s，第 %d 段" % (phrases[i % len(phrases)], i) for i in range(count))
classifier = wenlei.Classifier()
opened = memory("VmRSS")
start = time.process_time()
labels = collections.Counter()
if mode == "iter":
    for result in classifier.classify_iter(texts, batch_size=batch):
        labels[result.label] += 1
else:
    for result in classifier.classify_many(list(texts)):
        labels[result.label] += 1
print(json.dumps({"mode": mode, "documents": sum(labels.values()), "batch_size": batch,
                  "rss_after_open_mib": opened, "peak_rss_mib": memory("VmHWM"),
                  "cpu_s": round(time.process_time() - start, 1)}))
"""


def run(mode: str, count: int, batch: int) -> dict:
    env = dict(os.environ, PYTHONPATH=str(ROOT / "python"))
    done = subprocess.run([sys.executable, "-c", CHILD, mode, str(count), str(batch)],
                          capture_output=True, text=True, env=env, check=True)
    return json.loads(done.stdout)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--count", type=int, default=1_000_000, help="texts for classify_iter")
    parser.add_argument("--batch-size", type=int, default=1024)
    parser.add_argument("--many-count", type=int, default=100_000,
                        help="texts for classify_many, held in one list (0: skip)")
    arguments = parser.parse_args()
    rows = [run("iter", arguments.count, arguments.batch_size)]
    if arguments.many_count:
        rows.append(run("many", arguments.many_count, arguments.batch_size))
    for row in rows:
        print("%-4s %9d documents: peak RSS %5d MiB (%d MiB once the set is open), %s s CPU"
              % (row["mode"], row["documents"], row["peak_rss_mib"], row["rss_after_open_mib"],
                 row["cpu_s"]))


if __name__ == "__main__":
    main()
