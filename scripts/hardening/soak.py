#!/usr/bin/python3
"""Soak run: many classifications in one host process through the shared
library, with the resource tables released and loaded again every so often.
Checks that every document keeps its first answer and that the process's
resident memory stays flat.

    scripts/hardening/soak.py [-r DIR] [-n COUNT] [--cycle N] [--library PATH]

-r DIR      resource set (a directory holding Source.dat and SVMModel);
            default models/help-zh/, or a small generated one when that is
            not there.  The set is copied to a temporary directory first,
            since every classification writes its working files beside the
            resource files.
-n COUNT    classifications (default 20000)
--cycle N   classifications between releasesource + LoadSource (default 1000)
--library   the shared library to load; default: build it in build-soak

The host is this script, through ctypes: it lays out the word lists as the
public header describes, so it checks the library from the outside.
Documents are drawn from the set's own vocabulary (with some unknown and
long words), so that most reach the prediction step.  Exits with status 1
when an answer changes or memory grows by more than the allowance.
"""

import argparse
import ctypes
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SHORT_TEXT = bytes.fromhex(
    "CEC4B1BEC4DAC8DDCCABB6CCBBF2CEDED0A7A3ACB2BBC4DCC8B7B6A8C0E0B1F0")
INLINE_LIMIT = 16
# Growth of the resident set, after the first cycle, that still counts as
# flat: the C library's heap may settle by a few pages.
RSS_ALLOWANCE_KB = 1024


class WordText(ctypes.Union):
    _fields_ = [("inline_bytes", ctypes.c_char * 16), ("address", ctypes.c_void_p)]


class WordEntry(ctypes.Structure):
    _fields_ = [("reserved", ctypes.c_void_p), ("text", WordText),
                ("length", ctypes.c_size_t), ("capacity", ctypes.c_size_t)]


class WordList(ctypes.Structure):
    _fields_ = [("reserved_begin", ctypes.c_void_p),
                ("first", ctypes.POINTER(WordEntry)),
                ("end", ctypes.POINTER(WordEntry)),
                ("reserved_end", ctypes.c_void_p)]


def fail(message):
    print("scripts/hardening/soak.py: " + message, file=sys.stderr)
    sys.exit(1)


def resident_kb():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def read_source(path):
    """The vocabulary and class names of a resource file."""
    data = open(path, "rb").read()
    at = 0
    sections = []
    for width in (30, 40, 40, 10):
        (count,) = struct.unpack_from("<i", data, at)
        at += 4
        records = [data[at + i * width: at + (i + 1) * width] for i in range(count)]
        at += count * width
        sections.append(records)
    vocabulary = [r[:30].split(b"\0")[0] for r in sections[0]]
    classes = [r.split(b"\0")[0] for r in sections[3]]
    return vocabulary, classes


def write_source(path, vocabulary, idf, classes, average):
    def field(text, width):
        return text + b"\0" * (width - len(text))
    out = struct.pack("<i", len(vocabulary)) + b"".join(field(w, 30) for w in vocabulary)
    out += struct.pack("<i", len(vocabulary)) + b"".join(field(w, 30) + field(b"", 10) for w in vocabulary)
    out += struct.pack("<i", len(vocabulary)) + b"".join(
        field(w, 30) + b"\0\0" + struct.pack("<d", idf[w]) for w in vocabulary)
    out += struct.pack("<i", len(classes)) + b"".join(field(c, 10) for c in classes)
    out += struct.pack("<d", average)
    with open(path, "wb") as file:
        file.write(out)


def generate_resource_set(directory):
    """A small real set: five classes of 40 words each, a model trained by
    svm-train on vectors weighted as the library weights them."""
    if shutil.which("svm-train") is None:
        fail("no resource set given and svm-train is missing to make one (Debian: libsvm-tools)")
    rng = random.Random(5)
    classes = [b"NULL"] + [b"c%d" % c for c in range(1, 6)]
    vocabulary = [b"w%d_%d" % (c, j) for c in range(1, 6) for j in range(40)]
    idf = {w: 1.0 + (i % 7) * 0.3 for i, w in enumerate(vocabulary)}
    average = 30.0
    write_source(os.path.join(directory, "Source.dat"), vocabulary, idf, classes, average)
    number = {w: i + 1 for i, w in enumerate(vocabulary)}
    lines = []
    for c in range(1, 6):
        for _ in range(40):
            words = [b"w%d_%d" % (c, rng.randrange(40)) for _ in range(rng.randint(10, 50))]
            words += [rng.choice(vocabulary) for _ in range(rng.randint(0, 10))]
            counts = {}
            for w in words:
                counts[w] = counts.get(w, 0.0) + 1.0
            k = len(words) / average * 1.5
            weights = {w: tf / ((k + tf) + 0.5) * idf[w] for w, tf in counts.items()}
            norm = sum(v * v for v in weights.values()) ** 0.5
            features = sorted((number[w], v / norm) for w, v in weights.items())
            lines.append("%d " % c + " ".join("%d:%g" % f for f in features))
    training = os.path.join(directory, "training")
    with open(training, "w") as file:
        file.write("\n".join(lines) + "\n")
    subprocess.run(["svm-train", "-q", "-b", "1", "-t", "0", training,
                    os.path.join(directory, "SVMModel")], check=True)
    os.remove(training)


class Document:
    """A word list laid out as the header describes, with its storage."""

    def __init__(self, words):
        self.texts = []
        self.entries = (WordEntry * max(len(words), 1))()
        for i, word in enumerate(words):
            entry = self.entries[i]
            entry.length = len(word)
            if len(word) < INLINE_LIMIT:
                entry.text.inline_bytes = word
                entry.capacity = 15
            else:
                text = ctypes.create_string_buffer(word, len(word))
                self.texts.append(text)
                entry.text.address = ctypes.addressof(text)
                entry.capacity = len(word)
        self.list = WordList()
        if words:
            base = ctypes.addressof(self.entries)
            self.list.first = ctypes.cast(base, ctypes.POINTER(WordEntry))
            self.list.end = ctypes.cast(base + len(words) * ctypes.sizeof(WordEntry),
                                        ctypes.POINTER(WordEntry))


def make_documents(vocabulary, count, rng):
    documents = []
    for d in range(count):
        if d % 50 == 49:
            words = [b"unknown%d" % d, b"x" * 20]  # no known word at all
        else:
            # A document leans on one stretch of the vocabulary, as a topic does.
            centre = rng.randrange(len(vocabulary))
            words = []
            for _ in range(rng.randint(1, 120)):
                if rng.random() < 0.1:
                    words.append(rng.choice([b"unknown", b"y" * rng.randint(16, 40), b""]))
                else:
                    at = int(rng.gauss(centre, max(len(vocabulary) / 20, 2))) % len(vocabulary)
                    words.append(vocabulary[at])
        documents.append(Document(words))
    return documents


def build_library():
    build = os.path.join(ROOT, "build-soak")
    subprocess.run(["cmake", "-S", ROOT, "-B", build, "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DWENLEI_BUILD_TESTS=OFF",
                    "-DWENLEI_BUILD_TOOLS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["ninja", "-C", build, "-j", os.environ.get("WENLEI_JOBS", "2"), "wenlei"],
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(build, "libwenlei.so")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("-r", dest="resources", help="resource set directory")
    parser.add_argument("-n", dest="count", type=int, default=20000)
    parser.add_argument("--cycle", type=int, default=1000)
    parser.add_argument("--library")
    parser.add_argument("--documents", type=int, default=200)
    options = parser.parse_args()
    if options.count < 1 or options.cycle < 1:
        fail("-n and --cycle must be positive")

    work = tempfile.mkdtemp(prefix="wenlei-soak-")
    try:
        bundled = os.path.join(ROOT, "models", "help-zh")
        source = options.resources
        if source is None and os.path.exists(os.path.join(bundled, "Source.dat")):
            source = bundled
        if source is None:
            print("soak: models/help-zh/ is not there; generating a small resource set", file=sys.stderr)
            generated = os.path.join(work, "generated")
            os.mkdir(generated)
            generate_resource_set(generated)
            source = generated
        for name in ("Source.dat", "SVMModel"):
            if not os.path.isfile(os.path.join(source, name)):
                fail("%s holds no %s" % (source, name))
        copy = os.path.join(work, "set")
        os.mkdir(copy)
        for name in ("Source.dat", "SVMModel"):
            shutil.copyfile(os.path.join(source, name), os.path.join(copy, name))
        prefix = (copy + os.sep).encode()

        library_path = options.library or build_library()
        library = ctypes.CDLL(library_path)
        library.CreateClassifier.restype = ctypes.c_void_p
        library.LoadSource.argtypes = [ctypes.c_char_p]
        library.LoadSource.restype = ctypes.c_ubyte
        library.Classification.argtypes = [ctypes.c_void_p, ctypes.POINTER(WordList), ctypes.c_char_p]
        library.Classification.restype = None
        library.releaseClassifier.argtypes = [ctypes.c_void_p]
        library.releasesource.restype = None

        vocabulary, classes = read_source(os.path.join(copy, "Source.dat"))
        documents = make_documents(vocabulary, options.documents, random.Random(11))
        answer = ctypes.create_string_buffer(512)

        if library.LoadSource(prefix) != 1:
            fail("LoadSource rejected " + source)
        handle = library.CreateClassifier()
        print("soak: %s, %d words, %d classes; %d classifications over %d documents, "
              "tables reloaded every %d" % (source, len(vocabulary), len(classes) - 1,
                                            options.count, len(documents), options.cycle),
              file=sys.stderr)

        first_answers = [None] * len(documents)
        changed = 0
        short = 0
        samples = []  # (classifications done, resident KB)
        before_kb = resident_kb()
        start = time.monotonic()
        for i in range(options.count):
            if i > 0 and i % options.cycle == 0:
                samples.append((i, resident_kb()))
                library.releasesource()
                if library.LoadSource(prefix) != 1:
                    fail("LoadSource rejected the set on reload %d" % (i // options.cycle))
            d = i % len(documents)
            library.Classification(handle, ctypes.byref(documents[d].list), answer)
            text = answer.value
            if first_answers[d] is None:
                first_answers[d] = text
            elif text != first_answers[d]:
                changed += 1
                if changed <= 5:
                    print("soak: document %d answered %r, first %r" % (d, text, first_answers[d]),
                          file=sys.stderr)
            short += text == SHORT_TEXT
            if (i + 1) % (options.cycle * 5) == 0:
                print("soak: %d classifications, %d kB resident" % (i + 1, resident_kb()),
                      file=sys.stderr)
        elapsed = time.monotonic() - start
        samples.append((options.count, resident_kb()))
        library.releaseClassifier(handle)
        library.releasesource()

        first_kb = samples[0][1]
        last_kb = samples[-1][1]
        peak_kb = max(kb for _, kb in samples)
        print("classifications       %d in %.1f s (%.2f ms each)" %
              (options.count, elapsed, 1000 * elapsed / options.count))
        print("answers changed       %d (%d answers were the short-text message)" % (changed, short))
        print("distinct answers      %d" % len({a for a in first_answers if a is not None}))
        print("resident memory       %d kB before the first, %d kB after %d, %d kB after %d, "
              "peak %d kB (growth %+d kB)" % (before_kb, first_kb, samples[0][0], last_kb,
                                              samples[-1][0], peak_kb, last_kb - first_kb))
        ok = True
        if changed:
            print("soak: FAILED: %d answers differ from the document's first answer" % changed,
                  file=sys.stderr)
            ok = False
        if peak_kb - first_kb > RSS_ALLOWANCE_KB:
            print("soak: FAILED: resident memory grew by %d kB (allowance %d kB)" %
                  (peak_kb - first_kb, RSS_ALLOWANCE_KB), file=sys.stderr)
            ok = False
        if len({a for a in first_answers if a is not None}) < 2:
            print("soak: FAILED: every document got the same answer", file=sys.stderr)
            ok = False
        return 0 if ok else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
