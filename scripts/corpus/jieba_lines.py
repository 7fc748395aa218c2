"""Segments each line of UTF-8 text on stdin into words with jieba.

Prints one line per input line: the words separated by single spaces
(white space dropped). Dictionary words only (HMM=False), so that unknown
words are not guessed; this is the reference segmentation that the
project's own segmenter is compared with.
"""

import logging
import sys

import jieba

jieba.setLogLevel(logging.WARNING)


def segment_line(line):
    return " ".join(w for w in jieba.cut(line, HMM=False) if w.strip())


def main():
    sys.stdout.reconfigure(encoding="utf-8", newline="\n")
    for number, raw in enumerate(sys.stdin.buffer, 1):
        try:
            line = raw.decode("utf-8").rstrip("\r\n")
        except UnicodeDecodeError:
            sys.stdout.flush()
            print(f"jieba_lines: line {number} of the input is not UTF-8",
                  file=sys.stderr)
            return 1
        sys.stdout.write(segment_line(line) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
