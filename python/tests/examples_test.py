"""Every Python example of the README and of docs/, run as written by the
installed package, from a folder away from the source tree, each block in a
fresh process: the README's in the venv its own recipe makes, run verbatim
in a fresh folder that holds the package's source and models as a checkout
does; the other pages' in a fresh venv with the wheel.

The examples use names a reader supplies (texts and labels, a corpus file,
a folder of documents): the scratch folder holds those, and each block
starts with `texts` and `labels` defined.  Blocks of one page run in order
in one folder, so a block may read what an earlier one wrote (a pickled
estimator, a trained set)."""

import os
import re
import shutil
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


def readme_recipe():
    """The commands of the README's first indented block under "## Python"."""
    section = (ROOT / "README.md").read_text(encoding="utf-8").split("\n## Python\n")[1]
    block = re.search(r"\n\n((?:    .+\n)+)", section).group(1)
    return [line[4:] for line in block.splitlines()]


def _environment(**more):
    environment = {key: value for key, value in os.environ.items()
                   if key not in ("WENLEI_LIBRARY", "PYTHONPATH")}
    environment.update(more)
    return environment


@pytest.fixture(scope="module")
def recipe_venv(tmp_path_factory):
    """The venv the README's recipe makes, run line by line as written in a
    fresh folder holding python/ (without its tests), models/ and include/ as a
    checkout does; the library carried is this build's (WENLEI_LIBRARY),
    so that the recipe does not build it again."""
    checkout = tmp_path_factory.mktemp("checkout")
    shutil.copytree(ROOT / "python", checkout / "python",
                    ignore=shutil.ignore_patterns("tests", "__pycache__"))
    shutil.copytree(ROOT / "models", checkout / "models")
    shutil.copytree(ROOT / "include", checkout / "include")
    lines = readme_recipe()
    # python3 is this interpreter (Debian's, under scripts/test-python).
    environment = _environment(WENLEI_LIBRARY=_library(), PATH=os.pathsep.join(
        [os.path.dirname(sys.executable), os.environ.get("PATH", "")]))
    assert lines[0].startswith("python3 -m venv") and lines[-1].startswith("V/bin/python")
    for line in lines:
        run = subprocess.run(["bash", "-euc", line], cwd=str(checkout), capture_output=True,
                             text=True, env=environment, timeout=600)
        assert run.returncode == 0, "%s:\n%s%s" % (line, run.stdout, run.stderr)
    assert run.stdout.strip() == "图表", run.stdout
    return checkout / "V" / "bin" / "python"


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


def test_the_package_declares_what_its_parts_need(recipe_venv):
    run = subprocess.run([str(recipe_venv), "-c", "import importlib.metadata as m; "
                          "print('\\n'.join(m.requires('wenlei')))"],
                         capture_output=True, text=True, check=True)
    assert run.stdout.splitlines() == ["numpy", 'scikit-learn; extra == "sklearn"',
                                       'dask; extra == "dask"', 'distributed; extra == "dask"',
                                       'pandas; extra == "dask"']


@pytest.mark.parametrize("page,blocks", examples(), ids=lambda value: str(value)[:20])
def test_examples_run_in_the_installed_package(request, tmp_path, page, blocks):
    venv = request.getfixturevalue("recipe_venv" if page == "README.md" else "venv")
    texts, labels = corpus(per_class=12)
    with open(tmp_path / "corpus.tsv", "w", encoding="utf-8") as out:
        out.writelines("%s\t%s\n" % pair for pair in zip(labels, texts))
    (tmp_path / "corpus").mkdir()
    (tmp_path / "corpus" / "samples.txt").write_text("\n".join(sample_sentences()[:40]) + "\n",
                                                     encoding="utf-8")
    environment = _environment()
    for number, block in enumerate(blocks, 1):
        run = subprocess.run([str(venv), "-c", PRELUDE + block], cwd=str(tmp_path), env=environment,
                             capture_output=True, text=True, timeout=600)
        assert run.returncode == 0, "%s, example %d:\n%s\n%s" % (page, number, block, run.stderr)
        assert str(ROOT) not in run.stdout + run.stderr
