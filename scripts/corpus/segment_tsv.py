"""Segments the texts of a raw corpus file with a segmenter command.

Usage: segment_tsv.py --segmenter COMMAND RAW.tsv OUT.tsv

RAW.tsv holds `class<TAB>text` lines. COMMAND reads UTF-8 text on stdin and
prints, for every input line, one line with that line's words separated by
spaces. OUT.tsv gets `class<TAB>word word ...` in the same order.
"""

import argparse
import os
import shlex
import shutil
import subprocess
import sys
import threading
import time


class SegmentError(Exception):
    pass


def segmenter_argv(command):
    """The command as an argument list; raises if its program is missing."""
    try:
        argv = shlex.split(command)
    except ValueError as error:
        raise SegmentError(f"cannot parse segmenter command {command!r}: {error}")
    if not argv:
        raise SegmentError("the segmenter command is empty")
    program = argv[0]
    if os.sep in program:
        found = os.path.isfile(program) and os.access(program, os.X_OK)
    else:
        found = shutil.which(program) is not None
    if not found:
        raise SegmentError(f"segmenter not found: {program}")
    return argv


def read_raw(path):
    classes, texts = [], []
    with open(path, encoding="utf-8", newline="\n") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            class_name, tab, text = line.partition("\t")
            if not tab or not class_name:
                raise SegmentError(f"{path}:{number}: not a `class<TAB>text` line")
            classes.append(class_name)
            texts.append(" ".join(text.split()))
    return classes, texts


def run_segmenter(argv, texts, progress):
    """Feeds every text as one line and returns one word line per text."""
    process = subprocess.Popen(argv, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def feed():
        try:
            for text in texts:
                process.stdin.write(text.encode("utf-8") + b"\n")
            process.stdin.close()
        except BrokenPipeError:
            pass

    errors = []
    drain = threading.Thread(
        target=lambda: errors.append(process.stderr.read()), daemon=True)
    writer = threading.Thread(target=feed, daemon=True)
    drain.start()
    writer.start()
    lines = []
    started = time.monotonic()
    for raw in process.stdout:
        lines.append(raw.decode("utf-8", errors="replace").rstrip("\r\n"))
        if len(lines) % 500 == 0:
            progress(f"segmented {len(lines)}/{len(texts)} documents")
    status = process.wait()
    writer.join()
    drain.join()
    process.stdout.close()
    process.stderr.close()
    message = (errors[0] if errors else b"").decode("utf-8", "replace").strip()
    if status != 0:
        first = message.splitlines()[0] if message else "no message"
        raise SegmentError(f"segmenter {argv[0]} failed with status {status}: "
                           f"{first}")
    if len(lines) != len(texts):
        raise SegmentError(f"segmenter {argv[0]} printed {len(lines)} lines for "
                           f"{len(texts)} documents; it must print one line "
                           f"per input line")
    progress(f"segmented {len(texts)} documents in "
             f"{time.monotonic() - started:.1f} s")
    return [" ".join(line.split()) for line in lines]


def segment_file(command, raw_path, out_path, progress):
    argv = segmenter_argv(command)
    classes, texts = read_raw(raw_path)
    words = run_segmenter(argv, texts, progress)
    empty = sum(1 for w in words if not w)
    if empty:
        progress(f"warning: {empty} documents of {raw_path} got no words")
    temporary = out_path + ".tmp"
    with open(temporary, "w", encoding="utf-8", newline="\n") as f:
        for class_name, line in zip(classes, words):
            f.write(f"{class_name}\t{line}\n")
    os.replace(temporary, out_path)
    progress(f"wrote {out_path} ({len(classes)} documents)")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--segmenter", required=True)
    parser.add_argument("raw")
    parser.add_argument("out")
    args = parser.parse_args(argv)

    def progress(message):
        print(f"prepare-corpus: {message}", file=sys.stderr, flush=True)

    try:
        segment_file(args.segmenter, args.raw, args.out, progress)
    except (SegmentError, OSError, UnicodeDecodeError) as error:
        print(f"prepare-corpus: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
