"""Builds the raw labelled corpus from the unpacked Chinese help pages.

Usage: build_corpus.py HELP_TEXT_DIR OUT_DIR [options]

HELP_TEXT_DIR is the help's text/ folder (holding swriter/, scalc/, ...).
Writes, in OUT_DIR, train-raw.tsv and test-raw.tsv (class name, TAB, the
page's text on one line) and train-paths.tsv and test-paths.tsv (class name,
TAB, source page path) in the same order.
"""

import argparse
import collections
import hashlib
import os
import sys

import helptext

# Module folder -> class name (at most 9 bytes in GBK, as the resource file
# stores class names in 10-byte NUL-terminated fields).
MODULE_CLASSES = [
    ("swriter", "文字处理"),
    ("scalc", "电子表格"),
    ("simpress", "演示文稿"),
    ("sdraw", "绘图"),
    ("sdatabase", "数据库"),
    ("smath", "公式"),
    ("schart", "图表"),
    ("sbasic", "宏编程"),
]

MAX_CLASS_NAME_BYTES = 9


class CorpusError(Exception):
    pass


def stable_key(path):
    """Order that depends on the path alone, not on the machine or run."""
    return hashlib.sha1(path.encode("utf-8")).hexdigest()


class Page:
    __slots__ = ("module", "class_name", "path", "segments", "text")

    def __init__(self, module, class_name, path, segments):
        self.module = module
        self.class_name = class_name
        self.path = path
        self.segments = segments
        self.text = ""


def check_class_names(module_classes):
    for module, name in module_classes:
        size = len(name.encode("gbk"))
        if size > MAX_CLASS_NAME_BYTES:
            raise CorpusError(f"class name {name} of {module} is {size} bytes "
                              f"in GBK, more than {MAX_CLASS_NAME_BYTES}")


def read_pages(text_dir, module_classes, progress):
    pages = []
    for module, class_name in module_classes:
        module_dir = os.path.join(text_dir, module)
        if not os.path.isdir(module_dir):
            raise CorpusError(f"no folder {module}/ in {text_dir}")
        paths = []
        for folder, _, files in os.walk(module_dir):
            paths.extend(os.path.join(folder, f) for f in files
                         if f.endswith(".html"))
        paths.sort()
        for path in paths:
            with open(path, encoding="utf-8") as f:
                segments = helptext.page_segments(f.read(), module)
            # Provenance path as it stands inside the help tree.
            relative = os.path.relpath(path, os.path.dirname(text_dir))
            pages.append(Page(module, class_name, relative, segments))
        progress(f"read {len(paths)} pages of {module}")
    return pages


def find_boilerplate(pages, share):
    """Runs of text that occur on at least `share` of all pages."""
    document_frequency = collections.Counter()
    for page in pages:
        document_frequency.update(set(page.segments))
    threshold = max(2, share * len(pages))
    return {segment: count for segment, count in document_frequency.items()
            if count >= threshold}


def remove_boilerplate(pages, boilerplate):
    for page in pages:
        page.text = helptext.one_line(
            " ".join(s for s in page.segments if s not in boilerplate))


def split_pages(pages, module_classes, test_share):
    """Fixed stratified split: per class, the test pages are the first
    round(n * test_share) pages in stable hash order of their paths."""
    train, test = [], []
    for _, class_name in module_classes:
        members = sorted((p for p in pages if p.class_name == class_name),
                         key=lambda p: stable_key(p.path))
        n_test = int(len(members) * test_share + 0.5)
        if len(members) >= 2:
            n_test = min(max(n_test, 1), len(members) - 1)
        test.extend(members[:n_test])
        train.extend(members[n_test:])
    # Classes interleaved, so that online learners are not fed one class
    # after another.
    train.sort(key=lambda p: stable_key(p.path))
    test.sort(key=lambda p: stable_key(p.path))
    return train, test


def write_atomically(path, lines):
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="utf-8", newline="\n") as f:
        for line in lines:
            f.write(line + "\n")
    os.replace(temporary, path)


def outside_gbk(text):
    try:
        text.encode("gbk")
        return False
    except UnicodeEncodeError:
        return True


def build(text_dir, out_dir, min_han, boilerplate_share, test_share,
          progress):
    check_class_names(MODULE_CLASSES)
    pages = read_pages(text_dir, MODULE_CLASSES, progress)
    boilerplate = find_boilerplate(pages, boilerplate_share)
    remove_boilerplate(pages, boilerplate)
    progress(f"boilerplate: {len(boilerplate)} runs of text found on at least "
             f"{boilerplate_share:.0%} of {len(pages)} pages, removed:")
    for segment, count in sorted(boilerplate.items(), key=lambda x: -x[1]):
        progress(f"  {count:5d}  {segment[:60]}")

    kept, too_short, duplicates = [], [], []
    seen = {}
    for page in pages:
        if helptext.count_han(page.text) < min_han:
            too_short.append(page)
        elif page.text in seen:
            duplicates.append((page, seen[page.text]))
        else:
            seen[page.text] = page
            kept.append(page)

    train, test = split_pages(kept, MODULE_CLASSES, test_share)
    os.makedirs(out_dir, exist_ok=True)
    for name, part in (("train", train), ("test", test)):
        write_atomically(os.path.join(out_dir, f"{name}-raw.tsv"),
                         (f"{p.class_name}\t{p.text}" for p in part))
        write_atomically(os.path.join(out_dir, f"{name}-paths.tsv"),
                         (f"{p.class_name}\t{p.path}" for p in part))

    report_summary(pages, kept, too_short, duplicates, train, test,
                   min_han, progress)
    return train, test


def report_summary(pages, kept, too_short, duplicates, train, test, min_han,
                   progress):
    def per_class(items):
        return collections.Counter(p.class_name for p in items)

    all_c, kept_c, short_c = per_class(pages), per_class(kept), per_class(too_short)
    dup_c = per_class(p for p, _ in duplicates)
    train_c, test_c = per_class(train), per_class(test)
    progress(f"{'module':10} {'class':8}  pages  short  dup   kept  train  test")
    for module, name in MODULE_CLASSES:
        # Chinese characters take two columns on a terminal.
        padded = name + " " * (8 - 2 * len(name))
        progress(f"{module:10} {padded} {all_c[name]:6d} "
                 f"{short_c[name]:6d} {dup_c[name]:4d} {kept_c[name]:6d} "
                 f"{train_c[name]:6d} {test_c[name]:5d}")
    progress(f"{'total':19} {len(pages):6d} {len(too_short):6d} "
             f"{len(duplicates):4d} {len(kept):6d} {len(train):6d} "
             f"{len(test):5d}")
    progress(f"dropped {len(too_short)} pages with fewer than {min_han} Chinese "
             f"characters and {len(duplicates)} pages whose text repeats an "
             f"earlier page's")
    cross = sum(1 for p, first in duplicates if p.class_name != first.class_name)
    if cross:
        progress(f"  {cross} of the repeated pages repeat a page of another class")
    n_outside = sum(1 for p in kept if outside_gbk(p.text))
    if n_outside:
        progress(f"note: {n_outside} kept pages hold characters that GBK "
                 f"cannot encode")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("text_dir")
    parser.add_argument("out_dir")
    parser.add_argument("--min-han", type=int, default=20,
                        help="drop pages with fewer Chinese characters (20)")
    parser.add_argument("--boilerplate-share", type=float, default=0.25,
                        help="a run of text on at least this share of pages "
                             "is boilerplate (0.25)")
    parser.add_argument("--test-share", type=float, default=0.2,
                        help="share of each class held out for testing (0.2)")
    args = parser.parse_args(argv)

    def progress(message):
        print(f"prepare-corpus: {message}", file=sys.stderr, flush=True)

    try:
        build(args.text_dir, args.out_dir, args.min_han,
              args.boilerplate_share, args.test_share, progress)
    except (CorpusError, OSError, UnicodeDecodeError) as error:
        print(f"prepare-corpus: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
