"""wenlei.train's safety: names kept exactly, Ctrl-C, the old set kept."""

import json
import os
import subprocess
import sys

import pytest

import wenlei
from conftest import ROOT

TOPICS = {"体育": "球队 比赛 进球 冠军 足球 篮球", "财经": "银行 利率 投资者 经济 股票 基金",
          "科技": "电脑 软件 芯片 网络 手机 程序"}
FAST = dict(cost=1, features="all", folds=2)


def corpus():
    """60 texts of five topic words each, 20 per class."""
    texts, labels = [], []
    for i in range(60):
        name, words = list(TOPICS.items())[i % 3]
        texts.append("，".join(words.split()[j % 6] for j in range(i, i + 5)))
        labels.append(name)
    return texts, labels


@pytest.mark.parametrize("label", ["a\0x", "a\tb", "a\nb", "a\rb", "\x7f", " 体育", "体育 ",
                                   "体育\u3000"])
def test_labels_the_metadata_could_not_keep_are_refused_before_the_library(tmp_path, label):
    texts, labels = corpus()
    labels[4] = label
    with pytest.raises(ValueError, match="text 5: class name"):
        wenlei.train((texts, labels), tmp_path / "set", **FAST)
    assert not (tmp_path / "set").exists()


# The child trains over a set it made first; SIGINT comes from a timer
# thread while the library works (with a callback that ignores it, or none).
CHILD = r"""
import hashlib, os, signal, sys, threading, random
sys.path.insert(0, sys.argv[1])
import wenlei
out, with_callback = sys.argv[2], sys.argv[3] == "1"
generator = random.Random(3)
words = ["词%d" % i for i in range(3000)]
texts, labels = [], []
for i in range(6000):
    c = i % 6
    texts.append(" ".join(generator.choice(words[c * 400:(c + 1) * 400] + words[2400:])
                          for _ in range(40)))
    labels.append("类%d" % c)
wenlei.train((texts[:60], labels[:60]), out, cost=1, features="all", folds=2)
def digest():
    return [hashlib.sha256(open(os.path.join(out, n), "rb").read()).hexdigest()
            for n in sorted(os.listdir(out))]
before = digest()
threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT)).start()
try:
    wenlei.train((texts, labels), out, force=True, cost=[0.5, 1, 2, 4], folds=5,
                 progress=(lambda *step: None) if with_callback else None)
except KeyboardInterrupt:
    print("interrupted", "kept" if digest() == before else "changed",
          "handler restored" if signal.getsignal(signal.SIGINT) is signal.default_int_handler
          else "handler left")
else:
    print("not interrupted")
"""


@pytest.mark.parametrize("with_callback", [False, True])
def test_ctrl_c_cancels_training_and_keeps_the_old_set(tmp_path, with_callback):
    done = subprocess.run([sys.executable, "-c", CHILD, str(ROOT / "python"), str(tmp_path / "set"),
                           "1" if with_callback else "0"],
                          capture_output=True, text=True, timeout=600, env=dict(os.environ))
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "interrupted kept handler restored", done.stderr
    assert "Exception ignored" not in done.stderr


def test_a_set_of_characters_answers_in_python_as_the_command_does(tmp_path):
    texts, labels = corpus()
    wenlei.train((texts, labels), tmp_path / "set", reads="chars1-2", **FAST)
    assert "\nreads chars1-2\n" in (tmp_path / "set" / "Metadata.txt").read_text(encoding="utf-8")
    library = os.environ.get("WENLEI_LIBRARY", os.path.join(ROOT, "build", "libwenlei.so.1"))
    command = os.path.join(os.path.dirname(library), "wenlei")
    probes = ["足球比赛的冠军", "银行利率和基金", "手机芯片"]
    answered = subprocess.run([command, "classify", "-r", str(tmp_path / "set"), "--json"] + probes,
                              capture_output=True, text=True, check=True).stdout.splitlines()
    with wenlei.Classifier(tmp_path / "set") as classifier:
        for probe, line in zip(probes, answered):
            result, expected = classifier.classify(probe), json.loads(line)
            assert (result.answer, result.probabilities) == (expected["answer"], expected["probabilities"])
            assert any(word.startswith("「") for word, _ in result.explain(10))
def test_a_corpus_file_of_raw_text_is_read_as_raw_text_and_said_to_be(tmp_path):
    texts, labels = corpus()
    raw = tmp_path / "raw.tsv"
    raw.write_text("".join("%s\t%s\n" % (label, text.replace("，", "")) for label, text in
                           zip(labels, texts)), encoding="utf-8")
    with pytest.warns(UserWarning, match="raw.tsv holds raw text"):
        wenlei.train(raw, tmp_path / "seen", **FAST)
    with wenlei.Classifier(tmp_path / "seen") as seen:
        assert seen.classify("球队比赛进球").top(1)[0][0] == "体育"
    import warnings
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        wenlei.train(raw, tmp_path / "told", raw=True, **FAST)
