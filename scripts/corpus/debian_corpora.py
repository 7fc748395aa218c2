"""Builds the training benchmark's corpora from Debian's Chinese text packages.

Usage: debian_corpora.py OUT_DIR [--man-dir DIR] [--fortunes-dir DIR]
                         [--reference-dir DIR] [--seed N] [--scale N,...]

Documents are paragraphs of raw text, one per line as `class<TAB>text`:
  - manpages-zh: a paragraph of a zh_CN manual page (the text between two
    paragraph or heading requests, roff removed);
  - fortunes-zh: one entry of the `chinese` fortune file (not those quoting
    the Debian reference manual);
  - debian-reference-zh-cn: one <p> or table cell of a chapter's HTML.
Paragraphs with fewer than --min-han Chinese characters are left out, and a
paragraph text found more than once (translators' credits, boilerplate) is
left out everywhere, so that no text is in two classes or in both splits.

Writes, for each corpus NAME (`mixed`: commands, concepts, administration,
sayings and the reference manual, the five classes of a new user's corpus;
`manpages`: the manual's sections):
  OUT_DIR/NAME/test.tsv        2,000 documents held out
  OUT_DIR/NAME/train-8000.tsv  8,000 training documents
  OUT_DIR/NAME/train-2000.tsv  2,000 of those 8,000
all stratified by class (each class in proportion to its paragraphs) and
drawn with a fixed seed, so the same packages give the same files.  With
--scale N,..., OUT_DIR/scale/train-N.tsv holds the first N of one stream of
distinct documents, each made by joining two to six sentences drawn from
one class's training paragraphs of the mixed corpus (never its held-out
ones, so that mixed/test.tsv scores them): a corpus for time, memory and
the calibration at scale, in which no document is repeated.
"""

import argparse
import html
import os
import random
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from man_pages import one_line, page_sources, roff_text  # noqa: E402
from out_of_domain import han_count  # noqa: E402

TEST_DOCUMENTS = 2000
TRAIN_SIZES = (2000, 8000)
SENTENCE_END = re.compile(r"(?<=[。！？；!?;])\s*")
SENTENCES_PER_DOCUMENT = (2, 6)
PARAGRAPH_BREAK = re.compile(r"^\.(?:PP|P|LP|SH|SS|TP|IP|HP)\b.*$", re.M)
HTML_BLOCK = re.compile(r"<(p|td)\b[^>]*>(.*?)</\1>", re.S)
HTML_TAG = re.compile(r"<[^>]+>")
REFERENCE_CHAPTERS = [f"ch{n:02d}" for n in range(1, 13)] + ["apa"]

# Class name -> the sources whose paragraphs it holds.
CORPORA = {
    "mixed": {
        "命令": ["man1"],
        "概念": ["man7"],
        "系统管理": ["man8"],
        "格言": ["fortunes"],
        "参考手册": ["reference"],
    },
    "manpages": {
        "命令": ["man1"],
        "函数": ["man2", "man3"],
        "文件格式": ["man4", "man5"],
        "杂项": ["man7"],
        "系统管理": ["man8"],
    },
}


def man_paragraphs(man_dir, section):
    for _, _, source in page_sources(man_dir, [section]):
        for paragraph in PARAGRAPH_BREAK.split(source):
            yield roff_text(paragraph)


def fortune_paragraphs(fortunes_dir):
    with open(os.path.join(fortunes_dir, "chinese"), encoding="utf-8",
              errors="replace") as handle:
        for entry in re.split(r"^%\s*$", handle.read(), flags=re.M):
            # The file also quotes the Debian reference manual: those entries
            # would be the reference class's text under another name.
            if "Debian" not in entry and "Osamu" not in entry:
                yield one_line(re.sub(r"\x1b\[[0-9;]*[A-Za-z]", "", entry))


def reference_paragraphs(reference_dir):
    for chapter in REFERENCE_CHAPTERS:
        with open(os.path.join(reference_dir, f"{chapter}.zh-cn.html"),
                  encoding="utf-8") as handle:
            for _, block in HTML_BLOCK.findall(handle.read()):
                yield one_line(html.unescape(HTML_TAG.sub(" ", block)))


def read_sources(options):
    sources = {f"man{n}": lambda n=n: man_paragraphs(options.man_dir, f"man{n}")
               for n in range(1, 9)}
    sources["fortunes"] = lambda: fortune_paragraphs(options.fortunes_dir)
    sources["reference"] = lambda: reference_paragraphs(options.reference_dir)
    needed = sorted({s for classes in CORPORA.values() for names in classes.values()
                     for s in names})
    paragraphs = {}
    for name in needed:
        paragraphs[name] = [p for p in sources[name]() if han_count(p) >= options.min_han]
        print(f"debian_corpora.py: {name}: {len(paragraphs[name])} paragraphs",
              file=sys.stderr)
    # A text seen twice anywhere is boilerplate: it goes everywhere.
    seen = {}
    for texts in paragraphs.values():
        for text in texts:
            seen[text] = seen.get(text, 0) + 1
    return {name: sorted({t for t in texts if seen[t] == 1})
            for name, texts in paragraphs.items()}


def proportional(counts, total, drawn_again=False):
    """Splits `total` over the classes in proportion to `counts` (largest
    remainders first, ties by class order)."""
    whole = sum(counts.values())
    if whole < total and not drawn_again:
        raise SystemExit(f"debian_corpora.py: {whole} paragraphs, {total} needed")
    shares = {c: n * total / whole for c, n in counts.items()}
    result = {c: int(s) for c, s in shares.items()}
    left = total - sum(result.values())
    for c in sorted(shares, key=lambda c: (result[c] - shares[c], c))[:left]:
        result[c] += 1
    return result


def write(path, documents):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as handle:
        for class_name, text in documents:
            handle.write(f"{class_name}\t{text}\n")


def build_corpus(name, classes, paragraphs, out_dir, seed):
    pools = {c: [p for s in sources for p in paragraphs[s]] for c, sources in classes.items()}
    generator = random.Random(f"{seed}/{name}")
    for c in sorted(pools):
        generator.shuffle(pools[c])
    largest = TEST_DOCUMENTS + max(TRAIN_SIZES)
    taken = proportional({c: len(p) for c, p in pools.items()}, largest)
    test_counts = proportional(taken, TEST_DOCUMENTS)
    test, train = [], []
    for c in sorted(pools):
        documents = [(c, text) for text in pools[c][:taken[c]]]
        test += documents[:test_counts[c]]
        train.append(documents[test_counts[c]:])
    splits = {"test": test}
    held_out = {text for _, text in test}
    for size in sorted(TRAIN_SIZES):
        counts = proportional({c[0][0]: len(c) for c in train}, size)
        splits[f"train-{size}"] = [d for c in train for d in c[:counts[c[0][0]]]]
    for split, documents in splits.items():
        generator.shuffle(documents)
        write(os.path.join(out_dir, name, f"{split}.tsv"), documents)
    summary = ", ".join(f"{c} {taken[c]}" for c in sorted(taken))
    print(f"debian_corpora.py: {name}: {summary}", file=sys.stderr)
    return held_out


def sentences(paragraph):
    return [s for s in SENTENCE_END.split(paragraph) if han_count(s) >= 2]


def build_scale(paragraphs, held_out, out_dir, sizes, seed):
    """Writes the prefixes of one stream of distinct generated documents."""
    classes = CORPORA["mixed"]
    pools = {c: [s for source in sources for p in paragraphs[source] if p not in held_out
                 for s in sentences(p)]
             for c, sources in sorted(classes.items())}
    total = max(sizes)
    counts = proportional({c: len(p) for c, p in pools.items()}, total, True)
    labels = [c for c in sorted(pools) for _ in range(counts[c])]
    generator = random.Random(f"{seed}/scale")
    generator.shuffle(labels)
    seen = set()
    documents = []
    for label in labels:
        while True:
            parts = generator.randint(*SENTENCES_PER_DOCUMENT)
            text = " ".join(generator.choice(pools[label]) for _ in range(parts))
            if text not in seen:
                break
        seen.add(text)
        documents.append((label, text))
        if len(documents) in sizes:
            write(os.path.join(out_dir, "scale", f"train-{len(documents)}.tsv"), documents)
    print(f"debian_corpora.py: scale: {total} documents from "
          + ", ".join(f"{c} {len(p)} sentences" for c, p in pools.items()), file=sys.stderr)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out_dir")
    parser.add_argument("--man-dir", default="/usr/share/man/zh_CN")
    parser.add_argument("--fortunes-dir", default="/usr/share/games/fortunes")
    parser.add_argument("--reference-dir", default="/usr/share/debian-reference")
    parser.add_argument("--min-han", type=int, default=10)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--scale", default="", metavar="N,...",
                        help="sizes of the generated scale corpus")
    options = parser.parse_args(argv)
    for folder in (options.man_dir, options.fortunes_dir, options.reference_dir):
        if not os.path.isdir(folder):
            raise SystemExit(f"debian_corpora.py: {folder} is missing (apt-get install "
                             "manpages-zh fortunes-zh debian-reference-zh-cn)")
    sizes = sorted({int(n) for n in options.scale.split(",") if n})
    paragraphs = read_sources(options)
    held_out = {}
    for name, classes in CORPORA.items():
        held_out[name] = build_corpus(name, classes, paragraphs, options.out_dir, options.seed)
    if sizes:
        build_scale(paragraphs, held_out["mixed"], options.out_dir, sizes, options.seed)


if __name__ == "__main__":
    main(sys.argv[1:])
