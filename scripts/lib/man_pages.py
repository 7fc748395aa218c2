"""Manual pages as text: the pages of a man tree (gzipped or not, links and
pages that only point at another left out) and their running text without
roff requests and escapes."""

import gzip
import os
import re

ROFF_FONT = re.compile(r"\\f(?:\[[^\]]*\]|\(..|.)")
ROFF_SPECIAL = re.compile(r"\\\((..)")
ROFF_OTHER = re.compile(r"\\[&/,|^%:]")
SPECIAL_CHARACTERS = {"em": "—", "en": "–", "lq": "“", "rq": "”", "oq": "‘", "cq": "’",
                      "bu": "·", "co": "©", "aq": "'", "dq": '"', "mi": "-", "hy": "-"}
TEXT_REQUESTS = ("SH", "SS", "B", "I", "BI", "BR", "IR", "RB", "RI", "IB", "TP", "IP")


def one_line(text):
    """Tabs and line ends become spaces, so a document fits one TSV line."""
    return re.sub(r"\s+", " ", text).strip()


def roff_text(source):
    """The running text of a manual page: requests dropped, the text of
    font and heading requests kept, escapes resolved."""
    lines = []
    for line in source.splitlines():
        if line.startswith(".\\\"") or line.startswith("'\\\""):
            continue
        if line.startswith(".") or line.startswith("'"):
            request, _, rest = line[1:].partition(" ")
            if request not in TEXT_REQUESTS:
                continue
            line = rest.replace('"', "")
        line = ROFF_FONT.sub("", line)
        line = ROFF_SPECIAL.sub(lambda m: SPECIAL_CHARACTERS.get(m.group(1), " "), line)
        line = ROFF_OTHER.sub("", line)
        line = line.replace("\\-", "-").replace("\\e", "\\").replace("\\ ", " ")
        lines.append(line)
    return one_line(" ".join(lines))


def page_sources(man_dir, sections=None):
    """(section, file name, roff source) of each real page, in name order;
    sections: the folders to read (man1, ...), else every folder."""
    for section in sections if sections is not None else sorted(os.listdir(man_dir)):
        folder = os.path.join(man_dir, section)
        if not os.path.isdir(folder):
            continue
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            opener = gzip.open if name.endswith(".gz") else open
            with opener(path, "rt", encoding="utf-8", errors="replace") as handle:
                source = handle.read()
            if not source.startswith(".so "):
                yield section, name, source
