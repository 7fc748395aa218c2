"""Picks one sample document per class from the test split.

Usage: make_samples.py CORPUS_DIR OUT_DIR --package-version VERSION

Reads CORPUS_DIR/test-raw.tsv and CORPUS_DIR/test-paths.tsv (written by
scripts/prepare-corpus) and writes OUT_DIR/<module>.txt, the text of one test
page per module trimmed at a sentence end to at most 1500 bytes, and
OUT_DIR/README.md, which names each file's true class and source page.
The page picked is the one with the largest share of Chinese characters
among the class's test pages that hold enough Chinese text, so that the
samples read as Chinese prose rather than as code or untranslated text.
"""

import argparse
import os
import sys

import helptext
from build_corpus import MODULE_CLASSES

MAX_SAMPLE_BYTES = 1500
MIN_SAMPLE_HAN = 150
SENTENCE_ENDS = "。！？；!?;"
HELP_PREFIX = "usr/share/libreoffice/help/zh-CN/"


def han_share(text):
    visible = sum(1 for ch in text if not ch.isspace())
    return helptext.count_han(text) / visible if visible else 0.0


def trim(text, limit):
    """The longest prefix of at most `limit` UTF-8 bytes that ends a sentence
    (or, lacking one, ends a word)."""
    if len(text.encode("utf-8")) <= limit:
        return text
    prefix = text.encode("utf-8")[:limit].decode("utf-8", errors="ignore")
    cut = max(prefix.rfind(mark) for mark in SENTENCE_ENDS)
    if cut <= 0:
        cut = prefix.rfind(" ") - 1
    if cut <= 0:
        return prefix
    return prefix[:cut + 1].rstrip()


def read_pairs(corpus_dir):
    with open(os.path.join(corpus_dir, "test-raw.tsv"), encoding="utf-8") as f:
        texts = [line.rstrip("\n").split("\t", 1) for line in f]
    with open(os.path.join(corpus_dir, "test-paths.tsv"), encoding="utf-8") as f:
        paths = [line.rstrip("\n").split("\t", 1) for line in f]
    if len(texts) != len(paths) or any(
            t[0] != p[0] for t, p in zip(texts, paths)):
        raise ValueError("test-raw.tsv and test-paths.tsv do not match; "
                         "run scripts/prepare-corpus again")
    return [(c, text, path) for (c, text), (_, path) in zip(texts, paths)]


def pick(pairs, class_name):
    members = [(text, path) for c, text, path in pairs if c == class_name]
    if not members:
        raise ValueError(f"no test page of class {class_name}")
    long_enough = [m for m in members
                   if helptext.count_han(m[0]) >= MIN_SAMPLE_HAN] or members
    return max(long_enough, key=lambda m: (han_share(m[0]), m[1]))


def readme(rows, version):
    lines = [
        "# Sample documents",
        "",
        "One short Chinese document per class, used to show the classifier "
        "at work. Each is",
        "a page of the test split (never seen in training), trimmed at a "
        "sentence end to at",
        f"most {MAX_SAMPLE_BYTES} bytes of UTF-8. Made by "
        "`scripts/corpus/make_samples.py` from the corpus that",
        "`scripts/prepare-corpus` builds.",
        "",
        "| file | module | true class | source page |",
        "| --- | --- | --- | --- |",
    ]
    for module, class_name, path in rows:
        lines.append(f"| {module}.txt | {module} | {class_name} | "
                     f"{HELP_PREFIX}{path} |")
    lines += [
        "",
        "## Licence and provenance",
        "",
        "The texts are taken from the Chinese (zh-CN) LibreOffice help, as "
        "shipped in Debian's",
        f"package libreoffice-help-zh-cn, version {version}.",
        "Copyright LibreOffice contributors and/or their affiliates.",
        "Licence: Mozilla Public License 2.0 (MPL-2.0), "
        "https://mozilla.org/MPL/2.0/.",
        "The texts were extracted from the HTML pages (markup and repeated "
        "navigation text",
        "removed) and trimmed; they are otherwise unchanged.",
        "",
    ]
    return "\n".join(lines)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("corpus_dir")
    parser.add_argument("out_dir")
    parser.add_argument("--package-version", required=True)
    args = parser.parse_args(argv)
    try:
        pairs = read_pairs(args.corpus_dir)
        os.makedirs(args.out_dir, exist_ok=True)
        rows = []
        for module, class_name in MODULE_CLASSES:
            text, path = pick(pairs, class_name)
            sample = trim(text, MAX_SAMPLE_BYTES)
            with open(os.path.join(args.out_dir, f"{module}.txt"), "w",
                      encoding="utf-8", newline="\n") as f:
                f.write(sample + "\n")
            rows.append((module, class_name, path))
            print(f"make_samples: {module}.txt  {class_name}  "
                  f"{len(sample.encode('utf-8'))} bytes  from {path}",
                  file=sys.stderr)
        with open(os.path.join(args.out_dir, "README.md"), "w",
                  encoding="utf-8", newline="\n") as f:
            f.write(readme(rows, args.package_version))
    except (OSError, ValueError) as error:
        print(f"make_samples: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
