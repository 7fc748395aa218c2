"""Tests of the training benchmark's report: the best peer of a split and
wenlei's figures beside the peers'.

Run: /usr/bin/python3 -m unittest discover -s scripts/corpus -p '*_test.py'
"""

import argparse
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import bench_scale  # noqa: E402
import bench_train  # noqa: E402


def figures(accuracy, cpu_seconds=1.0, **more):
    return dict(accuracy=accuracy, macro_f1=accuracy, cpu_seconds=cpu_seconds,
                peak_rss_mb=100.0, **more)


def split_results(systems):
    """Results of the split mixed/2000: {system: figures}."""
    return {f"mixed/2000/{system}": r for system, r in systems.items()}


class BestPeerTest(unittest.TestCase):
    def test_the_most_accurate_peer_of_the_split_the_first_listed_on_a_tie(self):
        cases = [
            ({"sklearn-grid": 0.80, "sklearn-chars1-2": 0.85, "fasttext": 0.82},
             "sklearn-chars1-2"),
            ({"sklearn-grid": 0.80, "sklearn-words+chars1-3": 0.90}, "sklearn-words+chars1-3"),
            ({"fasttext": 0.85, "sklearn-chars1-2": 0.85}, "sklearn-chars1-2"),
            ({"fasttext": 0.70}, "fasttext"),
        ]
        for peers, expected in cases:
            results = split_results({"wenlei": figures(0.5),
                                     **{s: figures(a) for s, a in peers.items()}})
            results["manpages/2000/sklearn-grid"] = figures(0.99)  # another split's
            with self.subTest(peers=peers):
                system, best = bench_train.best_peer(results, "mixed", 2000)
                self.assertEqual(system, expected)
                self.assertEqual(best["accuracy"], max(peers.values()))

    def test_no_peer_no_best(self):
        results = split_results({"wenlei": figures(0.5)})
        self.assertIsNone(bench_train.best_peer(results, "mixed", 2000))


class ReportTest(unittest.TestCase):
    def render(self, results):
        options = argparse.Namespace(smoke=True, data="data", help_corpus="corpus")
        return bench_train.render(options, results).splitlines()

    def test_wenlei_beside_every_peer_with_a_cpu_ratio_per_grid(self):
        results = split_results({
            "wenlei": figures(0.84, 2.0, reads="words+chars1-2"),
            "sklearn-grid": figures(0.80, 4.0), "sklearn-chars1-2": figures(0.86, 8.0),
            "sklearn-words+chars1-3": figures(0.83, 1.0), "fasttext": figures(0.81, 3.0)})
        row = next(line for line in self.render(results) if line.startswith("| mixed 2,000 |"))
        self.assertEqual(row, "| mixed 2,000 | 0.8400 (words+chars1-2) | 0.8000 | **0.8600** "
                              "| 0.8300 | 0.8100 | -0.0200 (chars 1-2 grid) "
                              "| 0.50× | 0.25× | 2.00× |")

    def test_goal_against_the_best_peer_names_it(self):
        results = split_results({"wenlei": figures(0.84), "fasttext": figures(0.84),
                                 "sklearn-grid": figures(0.80)})
        goal = next(line for line in self.render(results) if "best peer (" in line)
        self.assertIn("(fastText) | 0.8400 − 0.8400 = +0.0000 | ≥ 0 | met |", goal)


class ScaleTest(unittest.TestCase):
    def test_growth_per_eightfold_and_the_million_against_the_budget(self):
        results = {"scale/8000/wenlei": figures(0.9, 10.0, unknown_rate=0.01),
                   "scale/64000/wenlei": figures(0.9, 80.0, unknown_rate=0.01),
                   "scale/512000/wenlei": figures(0.9, 700.0, unknown_rate=0.01),
                   "scale/1000000/wenlei": figures(0.9, 1900.0, unknown_rate=0.01)}
        goals = {figure: (value, met) for figure, value, _, met in bench_scale.goals(results)}
        self.assertEqual(goals["scale: CPU time of eightfold documents"], ("8.0×, 8.8×", False))
        self.assertEqual(goals["scale: 1,000,000 documents, CPU time and peak memory"],
                         ("31.7 min, 100 MB", False))
        rows = bench_scale.render(results, "plot.png")
        self.assertIn("| 64,000 | 80 s | 8.0× for 8× the documents | 100 MB |", "\n".join(rows))


if __name__ == "__main__":
    unittest.main()
