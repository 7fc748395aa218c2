"""Tests of the out-of-domain set builder: fortune entries, manual pages as
running text, cutting, and the written files.

Run: /usr/bin/python3 -m unittest discover -s scripts/corpus -p '*_test.py'
"""

import gzip
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import out_of_domain  # noqa: E402


class OutOfDomainTest(unittest.TestCase):
    def test_fortune_entries_lose_colour_escapes_and_line_ends(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "chinese")
            with open(path, "w", encoding="utf-8") as handle:
                handle.write("第一条\n\t说的话\n%\n\x1b[33m    -- 某人\x1b[m《书》\n%\n")
            entries = [text for _, text in out_of_domain.fortune_entries(path)]
        self.assertEqual(entries[:2], ["第一条 说的话", "-- 某人《书》"])

    def test_cut_ends_at_a_full_stop_in_the_second_half(self):
        self.assertEqual(out_of_domain.cut("短文。", 10), "短文。")
        self.assertEqual(out_of_domain.cut("一二三四五六。七八九十", 10), "一二三四五六。")
        self.assertEqual(out_of_domain.cut("一。二三四五六七八九十", 10), "一。二三四五六七八九")

    def test_main_writes_labelled_sets_and_their_sources(self):
        with tempfile.TemporaryDirectory() as folder:
            fortunes = os.path.join(folder, "fortunes")
            manual = os.path.join(folder, "man", "man1")
            os.makedirs(fortunes)
            os.makedirs(manual)
            poem = "床前明月光，疑是地上霜。举头望明月，低头思故乡。"
            for name in out_of_domain.FORTUNE_FILES:
                with open(os.path.join(fortunes, name), "w", encoding="utf-8") as handle:
                    handle.write(f"{poem}\n%\n短句\n%\n")
            with gzip.open(os.path.join(manual, "ls.1.gz"), "wt", encoding="utf-8") as handle:
                handle.write(".SH 描述\n列出指定文件的信息，如果没有指定文件则列出当前目录的内容。\n")
            with gzip.open(os.path.join(manual, "dir.1.gz"), "wt", encoding="utf-8") as handle:
                handle.write(".so man1/ls.1\n")
            out = os.path.join(folder, "out")
            out_of_domain.main([fortunes, os.path.join(folder, "man"), out])
            with open(os.path.join(out, "far.tsv"), encoding="utf-8") as handle:
                far = handle.read().splitlines()
            with open(os.path.join(out, "near-sources.tsv"), encoding="utf-8") as handle:
                near_sources = handle.read().splitlines()
        self.assertEqual(far, ["unknown\t" + poem] * 3)  # the short entry is left out
        self.assertEqual(near_sources, ["unknown\tman1/ls.1.gz"])


if __name__ == "__main__":
    unittest.main()
