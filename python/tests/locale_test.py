"""Numbers keep their decimal point under a host's decimal-comma locale."""

import subprocess
import sys

import pytest

from conftest import ROOT

# In a fresh process, so that the library meets the locale before anything
# it shows once is made: the options' defaults, a cost given as a float,
# the trainer line of the set's metadata and a set opened and answered.
CHILD = r"""
import locale, os, sys
sys.path.insert(0, sys.argv[1])
locale.setlocale(locale.LC_ALL, "de_DE.UTF-8")
assert locale.localeconv()["decimal_point"] == ","
import wenlei
print("default", wenlei.training_options()["cost"])
texts = ["球队 比赛 进球 冠军", "银行 利率 投资者 经济"] * 10
labels = ["体育", "财经"] * 10
wenlei.train((texts, labels), sys.argv[2], cost=[0.5], features="all", folds=2)
trainer = [line for line in open(os.path.join(sys.argv[2], "Metadata.txt"), encoding="utf-8")
           if line.startswith("trainer ")]
print("metadata", *[part for part in trainer[0].split(", ") if part.startswith("C=")])
print("answer", wenlei.Classifier(sys.argv[2]).classify("比赛 冠军").label)
"""


def test_options_metadata_and_answers_keep_the_decimal_point(tmp_path):
    if subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.find("de_DE") < 0:
        pytest.skip("no de_DE.UTF-8 locale")
    done = subprocess.run([sys.executable, "-c", CHILD, str(ROOT / "python"), str(tmp_path / "set")],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    lines = dict(line.split(" ", 1) for line in done.stdout.splitlines())
    assert lines["default"].startswith("0.0625,0.125,")
    assert lines["metadata"] == "C=0.5"
    assert lines["answer"] == "体育"
