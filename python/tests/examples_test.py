"""Every Python example of the README and of docs/, run as written by the
installed package: the wheel in a fresh venv, from a folder away from the
source tree, each block in a fresh process.

The examples use names a reader supplies (texts and labels, a corpus file,
a folder of documents): the scratch folder holds those, and each block
starts with `texts` and `labels` defined.  Blocks of one page run in order
in one folder, so a block may read what an earlier one wrote (a pickled
estimator, a trained set)."""

import os
import re
import subprocess
import sys

import pytest

from conftest import ROOT, sample_sentences
from sklearn_test import corpus

PAGES = [ROOT / "README.md"] + sorted((ROOT / "docs").glob("*.md"))
BLOCK = re.compile(r"^```python\n(.*?)^```", re.S | re.M)
PRELUDE = ("texts, labels = [], []\n"
           "for line in open('corpus.tsv', encoding='utf-8'):\n"
           "    label, text = line.rstrip('\\n').split('\\t')\n"
           "    labels.append(label); texts.append(text)\n")


def examples():
    return [(page.relative_to(ROOT).as_posix(), blocks) for page in PAGES
            if (blocks := BLOCK.findall(page.read_text(encoding="utf-8")))]


@pytest.fixture(scope="module")
def venv(tmp_path_factory):
    """A venv that sees the system's scikit-learn and Dask, with the wheel."""
    where = tmp_path_factory.mktemp("installed")
    made = subprocess.run([str(ROOT / "scripts" / "build-wheel"),
                           os.path.dirname(_library()), str(where / "dist")],
                          check=True, capture_output=True, text=True)
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(where / "venv")],
                   check=True)
    subprocess.run([str(where / "venv" / "bin" / "pip"), "install", "-q", "--no-index",
                    made.stdout.strip()], check=True)
    return where / "venv" / "bin" / "python"


def _library():
    import wenlei
    return wenlei.library_path()


def test_the_pages_have_examples():
    pages = dict(examples())
    assert "README.md" in pages
    code = "\n".join(block for blocks in pages.values() for block in blocks)
    for needed in ("wenlei.train(", "TextClassifier", "GridSearchCV", "pickle.load", "wenlei.dask"):
        assert needed in code, needed


@pytest.mark.parametrize("page,blocks", examples(), ids=lambda value: str(value)[:20])
def test_examples_run_in_the_installed_package(venv, tmp_path, page, blocks):
    texts, labels = corpus(per_class=12)
    with open(tmp_path / "corpus.tsv", "w", encoding="utf-8") as out:
        out.writelines("%s\t%s\n" % pair for pair in zip(labels, texts))
    (tmp_path / "corpus").mkdir()
    (tmp_path / "corpus" / "samples.txt").write_text("\n".join(sample_sentences()[:40]) + "\n",
                                                     encoding="utf-8")
    environment = {key: value for key, value in os.environ.items()
                   if key not in ("WENLEI_LIBRARY", "PYTHONPATH")}
    for number, block in enumerate(blocks, 1):
        run = subprocess.run([str(venv), "-c", PRELUDE + block], cwd=str(tmp_path), env=environment,
                             capture_output=True, text=True, timeout=600)
        assert run.returncode == 0, "%s, example %d:\n%s\n%s" % (page, number, block, run.stderr)
        assert str(ROOT) not in run.stdout + run.stderr
