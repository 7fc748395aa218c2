"""Tests of scripts/docs/usage_to_man.py, the converter of the usage page."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import usage_to_man  # noqa: E402  (found beside this file)


class InlineTest(unittest.TestCase):
    def test_markup(self):
        cases = [
            ("plain", "plain"),
            ("`-r DIR` folder", "\\fB\\-r DIR\\fR folder"),
            ("**1** not 0", "\\fB1\\fR not 0"),
            ("see [the page](docs/x.md).", "see the page."),
            ("a\\b", "a\\eb"),
            (".starts with a dot", "\\&.starts with a dot"),
            ("'quoted", "\\&'quoted"),
        ]
        for markdown, roff in cases:
            with self.subTest(markdown=markdown):
                self.assertEqual(usage_to_man.inline(markdown), roff)


class ConvertTest(unittest.TestCase):
    PAGE = "\n".join([
        "# wenlei(1) — what it does",
        "",
        "## Synopsis",
        "",
        "    wenlei classify -r DIR",
        "    .dot",
        "",
        "### Options",
        "",
        "| option | meaning |",
        "| --- | --- |",
        "| `-l` | one document a line |",
        "",
        "`HOME`",
        ": Gives the cache folder.",
        "",
        "A paragraph",
        "of two lines.",
    ])

    def test_every_construct(self):
        lines = usage_to_man.convert(self.PAGE, "9.9.9").splitlines()
        self.assertIn('.TH WENLEI 1 "" "wenlei 9.9.9" "User Commands"', lines)
        expected_runs = [
            [".SH NAME", "wenlei \\- what it does", ".SH SYNOPSIS"],
            [".RS 4", ".nf", "wenlei classify \\-r DIR", "\\&.dot", ".fi", ".RE", ".SS Options"],
            [".TP", "\\fB\\-l\\fR", "one document a line"],
            [".TP", "\\fBHOME\\fR", "Gives the cache folder."],
            [".PP", "A paragraph", "of two lines."],
        ]
        for run in expected_runs:
            with self.subTest(run=run[1]):
                starts = [i for i in range(len(lines)) if lines[i:i + len(run)] == run]
                self.assertEqual(len(starts), 1, lines)


if __name__ == "__main__":
    unittest.main()
