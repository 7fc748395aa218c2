"""Builds out-of-domain test sets of Chinese text from unpacked Debian packages.

Usage: out_of_domain.py FORTUNES_DIR MAN_DIR OUT_DIR [--min-han N] [--max-chars N]

FORTUNES_DIR holds the fortune files of fortunes-zh (chinese, tang300,
song100: sayings, stories, Tang and Song poems), text far from office
software.  MAN_DIR is the zh_CN manual page tree of manpages-zh
(man1/, man8/, ...), documentation of other software: near.

Writes OUT_DIR/far.tsv and OUT_DIR/near.tsv, one document a line, labelled
"unknown" (the label `wenlei eval` counts as out of domain), and
far-sources.tsv / near-sources.tsv naming where each line came from.
"""

import argparse
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from man_pages import one_line, page_sources, roff_text  # noqa: E402

LABEL = "unknown"
FORTUNE_FILES = ["chinese", "tang300", "song100"]

ANSI_ESCAPE = re.compile(r"\x1b\[[0-9;]*[A-Za-z]")
HAN = re.compile(r"[\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff]")


def han_count(text):
    return len(HAN.findall(text))


def fortune_entries(path):
    with open(path, encoding="utf-8", errors="replace") as handle:
        text = handle.read()
    for number, entry in enumerate(re.split(r"^%\s*$", text, flags=re.M)):
        entry = ANSI_ESCAPE.sub("", entry)
        yield number, one_line(entry)


def man_pages(man_dir):
    for section, name, source in page_sources(man_dir):
        yield f"{section}/{name}", roff_text(source)


def cut(text, max_chars):
    """At most max_chars characters, ended at the last full stop within them
    when there is one in the second half."""
    if len(text) <= max_chars:
        return text
    head = text[:max_chars]
    stop = max(head.rfind("。"), head.rfind("；"))
    return head[:stop + 1] if stop >= max_chars // 2 else head


def write(out_dir, name, documents):
    with open(os.path.join(out_dir, name + ".tsv"), "w", encoding="utf-8") as texts, \
            open(os.path.join(out_dir, name + "-sources.tsv"), "w", encoding="utf-8") as sources:
        for source, text in documents:
            texts.write(f"{LABEL}\t{text}\n")
            sources.write(f"{LABEL}\t{source}\n")
    return len(documents)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("fortunes_dir")
    parser.add_argument("man_dir")
    parser.add_argument("out_dir")
    parser.add_argument("--min-han", type=int, default=20,
                        help="leave out documents with fewer Chinese characters (20)")
    parser.add_argument("--max-chars", type=int, default=2000,
                        help="cut longer documents to this many characters (2000)")
    options = parser.parse_args(argv)
    os.makedirs(options.out_dir, exist_ok=True)

    far = []
    for name in FORTUNE_FILES:
        path = os.path.join(options.fortunes_dir, name)
        if not os.path.isfile(path):
            raise SystemExit(f"out_of_domain.py: {path} is missing")
        for number, text in fortune_entries(path):
            if han_count(text) >= options.min_han:
                far.append((f"{name}#{number}", cut(text, options.max_chars)))
    near = []
    for source, text in man_pages(options.man_dir):
        text = cut(text, options.max_chars)
        if han_count(text) >= options.min_han:
            near.append((source, text))
    print(f"out_of_domain.py: far {write(options.out_dir, 'far', far)} documents, "
          f"near {write(options.out_dir, 'near', near)}", file=sys.stderr)


if __name__ == "__main__":
    main(sys.argv[1:])
