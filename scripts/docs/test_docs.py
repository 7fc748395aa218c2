#!/usr/bin/env python3
"""Runs the examples of the README and of docs/usage.md as written, and
checks that the README, docs/ and the manual page agree on which door of the
library `wenlei classify` goes through.

Every indented line of the chosen sections that starts with `wenlei` or
`build/wenlei` (pipes included) is run with bash from a scratch folder that
sees the source tree's models/ and the build folder, with the build folder
first on the PATH (as after an install); it must succeed and print
something, unless it writes to a file.  A block of "$ command" followed by
output lines must print exactly that output.

usage: scripts/docs/test_docs.py [BUILD-DIR]        (default: build)
"""

import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]

# (file, heading of the section whose examples run)
SECTIONS = [
    ("README.md", "## The command"),
    ("docs/usage.md", "## Examples"),  # with its pipeline subsection
]
COMMAND = re.compile(r"^(build/)?wenlei |^cat |^printf |^iconv ")


def section(text, heading):
    """The lines of a section, up to the next heading of its level or above."""
    lines = text.splitlines()
    if heading not in lines:
        return []
    start = lines.index(heading) + 1
    level = heading.split()[0]
    end = start
    while end < len(lines) and not (lines[end].startswith("#") and
                                    len(lines[end].split()[0]) <= len(level)):
        end += 1
    return lines[start:end]


def examples(lines):
    """(command, expected output or None) of the indented code lines."""
    found = []
    index = 0
    while index < len(lines):
        line = lines[index]
        code = line[4:] if line.startswith("    ") else None
        if code is not None and code.startswith("$ "):
            output = []
            index += 1
            while index < len(lines) and lines[index].startswith("    ") and \
                    not lines[index][4:].startswith("$ "):
                output.append(lines[index][4:])
                index += 1
            found.append((code[2:], "\n".join(output) + "\n"))
            continue
        if code is not None and COMMAND.match(code):
            found.append((code.split("  #")[0].strip(), None))
        index += 1
    return found


# `wenlei classify` goes through the modern interface; the exported
# functions only with --exports.
MODERN_DOOR = re.compile(r"(through|uses) (its |the library's )?modern interface")
COMMAND_NAMED = re.compile(r"wenlei (classify|eval)|[Tt]he command")
EXPORTS_DOOR = re.compile(r"through (its |the library's |the )?(five )?exported (C )?functions")


def plain(text):
    """A manual page's text without its font escapes and with plain hyphens."""
    return re.sub(r"\\f[BIRP]", "", text).replace("\\-", "-")


def paragraphs(text):
    """(heading, paragraph text) of a page in Markdown or roff."""
    heading, lines, found = "", [], []
    for line in text.splitlines() + [""]:
        if line.startswith("#") or line.startswith(".SH") or line.startswith(".SS"):
            heading = line
        if not line.strip() or line.startswith("#") or line.startswith(".PP") or \
                line.startswith(".SH") or line.startswith(".SS") or line.startswith(".TP"):
            if lines:
                found.append((heading, " ".join(lines)))
            lines = []
        elif not line.startswith("."):
            lines.append(line)
    return found


def door_faults(name, text):
    """The sentences of a page that send `wenlei classify` through the exported
    functions without --exports, and a fault when no sentence names its door."""
    faults, modern = [], False
    for heading, paragraph in paragraphs(text):
        if not COMMAND_NAMED.search(heading) and not COMMAND_NAMED.search(paragraph):
            continue
        for sentence in re.split(r"(?<=[.;:])\s+", paragraph):
            if MODERN_DOOR.search(sentence):
                modern = True
            elif EXPORTS_DOOR.search(sentence) and "--exports" not in sentence and \
                    "--exports" not in paragraph.split(sentence)[0][-200:]:
                faults.append("%s says the command goes through the exported functions: %s"
                              % (name, sentence.strip()))
    if not modern:
        faults.append("%s does not say that the command goes through the modern interface"
                      % name)
    return faults


def check_doors(build):
    """Faults of the README, docs/*.md and the manual page about the command's door."""
    pages = [("README.md", (ROOT / "README.md").read_text(encoding="utf-8"))]
    pages += [("docs/" + path.name, path.read_text(encoding="utf-8"))
              for path in sorted((ROOT / "docs").glob("*.md"))]
    manual = build / "wenlei.1"
    pages.append(("wenlei.1", plain(manual.read_text(encoding="utf-8")) if manual.exists() else ""))
    faults = []
    for name, text in pages:
        page_faults = door_faults(name, text)
        # Pages that never describe the command need not name its door.
        if name not in ("README.md", "docs/usage.md", "wenlei.1") and page_faults and \
                page_faults[-1].endswith("modern interface"):
            page_faults.pop()
        faults += page_faults
    return faults


def check_layers():
    """Faults of the README's list of folders: every folder of the library's
    sources is listed, and every folder listed exists."""
    text = (ROOT / "README.md").read_text(encoding="utf-8")
    listed = set(re.findall(r"^\| `([a-z/]+)/` \|", text, re.M))
    library = {path.parent.name for path in ROOT.glob("*/*.cc")
               if path.parent.name not in ("tools", "bench", "fuzz", "testutil", "tests")}
    faults = ["README.md does not list the folder %s/" % name for name in sorted(library - listed)]
    faults += ["README.md lists %s/, which does not exist" % name
               for name in sorted(listed) if not (ROOT / name).is_dir()]
    return faults


def main(argv):
    build = Path(argv[1] if len(argv) > 1 else ROOT / "build").resolve()
    failures = 0
    count = 0
    for fault in check_doors(build) + check_layers():
        failures += 1
        print(fault, file=sys.stderr)
    with tempfile.TemporaryDirectory(prefix="wenlei-docs.") as scratch:
        os.symlink(ROOT / "models", os.path.join(scratch, "models"))
        os.symlink(build, os.path.join(scratch, "build"))
        environment = dict(os.environ, PATH=str(build) + os.pathsep + os.environ["PATH"],
                           XDG_CACHE_HOME=os.path.join(scratch, "cache"))
        for name, heading in SECTIONS:
            text = (ROOT / name).read_text(encoding="utf-8")
            for command, expected in examples(section(text, heading)):
                count += 1
                run = subprocess.run(["bash", "-o", "pipefail", "-c", command], cwd=scratch,
                                     env=environment, capture_output=True, text=True)
                writes_file = ">" in command.replace("2>&1", "")
                fault = None
                if run.returncode != 0:
                    fault = "exit status %d: %s" % (run.returncode, run.stderr.strip())
                elif expected is not None and run.stdout != expected:
                    fault = "printed\n%s\ninstead of\n%s" % (run.stdout, expected)
                elif expected is None and not writes_file and not run.stdout.strip():
                    fault = "printed nothing"
                if fault:
                    failures += 1
                    print("%s (%s): %s\n  %s" % (name, heading, command, fault), file=sys.stderr)
    print("scripts/docs/test_docs.py: %d examples, %d failed" % (count, failures), file=sys.stderr)
    return 1 if failures or count == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
