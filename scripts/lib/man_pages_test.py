"""Tests of the manual page reader.

Run: /usr/bin/python3 -m unittest discover -s scripts/lib -p '*_test.py'
"""

import gzip
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import man_pages  # noqa: E402


class ManPagesTest(unittest.TestCase):
    def test_running_text_keeps_headings_and_resolves_escapes(self):
        source = ('.\\" a comment\n.TH LS 1 2022年9月 "GNU coreutils"\n.SH 名称\n'
                  "ls \\- 列出目录内容\n.PP\n\\fB\\-a\\fP, \\fI\\,文件\\/\\fP \\(lq点号\\(rq\n")
        self.assertEqual(man_pages.roff_text(source), "名称 ls - 列出目录内容 -a, 文件 “点号”")

    def test_pages_leave_out_links_and_pointers(self):
        with tempfile.TemporaryDirectory() as folder:
            for section in ("man1", "man8"):
                os.makedirs(os.path.join(folder, section))
            with gzip.open(os.path.join(folder, "man1", "ls.1.gz"), "wt", encoding="utf-8") as out:
                out.write(".SH 描述\n列出\n")
            with open(os.path.join(folder, "man1", "dir.1"), "w", encoding="utf-8") as out:
                out.write(".so man1/ls.1\n")
            os.symlink("ls.1.gz", os.path.join(folder, "man1", "vdir.1.gz"))
            with open(os.path.join(folder, "man8", "mount.8"), "w", encoding="utf-8") as out:
                out.write("挂载\n")
            every = [(section, name) for section, name, _ in man_pages.page_sources(folder)]
            chosen = [name for _, name, _ in man_pages.page_sources(folder, ["man8", "man5"])]
        self.assertEqual(every, [("man1", "ls.1.gz"), ("man8", "mount.8")])
        self.assertEqual(chosen, ["mount.8"])


if __name__ == "__main__":
    unittest.main()
