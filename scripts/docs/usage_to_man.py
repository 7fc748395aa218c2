#!/usr/bin/env python3
"""Writes the manual page wenlei(1) from docs/usage.md.

The usage page keeps to a small part of Markdown, and this converter knows
exactly that part: headings, paragraphs, indented code blocks, pipe tables,
definition lists ("term" then ": text"), inline `code`, **bold** and
[links](target).  Anything else is kept as text, so the page never loses a
line.

usage: usage_to_man.py [--version V] USAGE.md OUTPUT.1
"""

import argparse
import re
import sys

INLINE = re.compile(r"`([^`]+)`|\*\*([^*]+)\*\*|\[([^\]]+)\]\([^)]*\)")


def escape(text: str) -> str:
    """Text as roff shows it literally (backslashes, hyphens of options)."""
    return text.replace("\\", "\\e").replace("-", "\\-")


def inline(text: str) -> str:
    """Markdown inline markup to roff fonts; the rest escaped."""
    parts = []
    position = 0
    for match in INLINE.finditer(text):
        parts.append(escape(text[position:match.start()]))
        code, bold, link = match.groups()
        if link is not None:
            parts.append(escape(link))
        else:
            parts.append("\\fB" + escape(code if code is not None else bold) + "\\fR")
        position = match.end()
    parts.append(escape(text[position:]))
    return protect_line_start("".join(parts))


def protect_line_start(line: str) -> str:
    """A line starting with '.' or "'" would be read as a request."""
    return "\\&" + line if line.startswith((".", "'")) else line


def table_cells(line: str) -> list:
    return [cell.strip() for cell in line.strip().strip("|").split("|")]


def is_table_rule(line: str) -> bool:
    return bool(re.fullmatch(r"\|?(\s*:?-+:?\s*\|)+\s*:?-*:?\s*\|?", line.strip()))


def convert(markdown: str, version: str) -> str:
    lines = markdown.splitlines()
    out = []
    title = lines[0].lstrip("# ").strip() if lines and lines[0].startswith("# ") else "wenlei"
    summary = title.split("—", 1)[1].strip() if "—" in title else title
    out.append('.\\" -*- coding: UTF-8 -*-')
    out.append('.TH WENLEI 1 "" "wenlei %s" "User Commands"' % version)
    out.append(".SH NAME")
    out.append("wenlei \\- " + escape(summary))
    index = 1
    paragraph = []

    def flush_paragraph():
        if paragraph:
            out.append(".PP")
            out.extend(inline(text) for text in paragraph)
            paragraph.clear()

    while index < len(lines):
        line = lines[index]
        if not line.strip():
            flush_paragraph()
            index += 1
        elif line.startswith("### "):
            flush_paragraph()
            out.append(".SS " + inline(line[4:].strip()))
            index += 1
        elif line.startswith("## "):
            flush_paragraph()
            out.append(".SH " + inline(line[3:].strip().upper()))
            index += 1
        elif line.startswith("    ") and not paragraph:
            block = []
            while index < len(lines) and (lines[index].startswith("    ") or not lines[index].strip()):
                block.append(lines[index][4:])
                index += 1
            while block and not block[-1].strip():
                block.pop()
            out.extend([".PP", ".RS 4", ".nf"])
            out.extend(protect_line_start(escape(text)) for text in block)
            out.extend([".fi", ".RE"])
        elif line.lstrip().startswith("|") and index + 1 < len(lines) and is_table_rule(lines[index + 1]):
            flush_paragraph()
            index += 2  # the header row and its rule
            while index < len(lines) and lines[index].lstrip().startswith("|"):
                cells = table_cells(lines[index])
                out.append(".TP")
                out.append(inline(cells[0]))
                out.append(inline(" ".join(cells[1:])))
                index += 1
        elif index + 1 < len(lines) and lines[index + 1].startswith(": ") and not paragraph:
            out.append(".TP")
            out.append(inline(line.strip()))
            index += 1
            while index < len(lines) and lines[index].strip():
                out.append(inline(lines[index][2:] if lines[index].startswith(": ") else lines[index]))
                index += 1
        else:
            paragraph.append(line.strip())
            index += 1
    flush_paragraph()
    return "\n".join(out) + "\n"


def main(argv) -> int:
    parser = argparse.ArgumentParser(description="Writes wenlei(1) from the usage page.")
    parser.add_argument("--version", default="")
    parser.add_argument("usage")
    parser.add_argument("output")
    arguments = parser.parse_args(argv)
    with open(arguments.usage, encoding="utf-8") as source:
        page = convert(source.read(), arguments.version)
    with open(arguments.output, "w", encoding="utf-8") as target:
        target.write(page)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
