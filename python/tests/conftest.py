"""Fixtures: the source tree's bundled resource set, copies of it to damage,
and the package imported from this source folder."""

import shutil
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "python"))

import wenlei  # noqa: E402

BUNDLED = ROOT / "models" / "help-zh"
SAMPLES = ROOT / "models" / "samples"


def sample_sentences():
    """The sentences of the bundled sample pages (held out from training)."""
    sentences = []
    for page in sorted(SAMPLES.glob("*.txt")):
        text = page.read_text(encoding="utf-8")
        sentences.extend(part.strip() for part in text.split("。") if part.strip())
    return sentences


@pytest.fixture(scope="session")
def classifier():
    with wenlei.Classifier() as opened:
        yield opened


@pytest.fixture
def resource_copy(tmp_path):
    """A private copy of the bundled resource set."""
    target = tmp_path / "help-zh"
    shutil.copytree(BUNDLED, target)
    return target
