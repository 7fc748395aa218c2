"""The package's build backend: writes the wheel with the standard library.

A venv made by Debian's python3 holds pip and setuptools but not wheel, so
setuptools cannot build a wheel there without the network; this backend has
no requirements at all.

The wheel carries the library it is to load, with the bundled resource set
and the segmentation dictionary, laid out under wenlei/_native/ as an
install prefix (lib/, share/wenlei/models/), where the library finds them
from its own file.  So an installed package refers to no path outside
itself, and works after the source and build trees are moved or removed.
The library is WENLEI_LIBRARY when that is set at build time (with the
models of its install prefix, else of this source tree), else the
libwenlei.so.1 built from this source tree, brought up to date first (and
configured, when new) so that it is never missing or stale: in the tree's
build/ when that holds a configured build, else in a folder of the user's
cache, with its progress on the terminal.  When it cannot be built, the
build fails with one line that says what to run.
"""

import base64
import hashlib
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import zipfile
from pathlib import Path
from typing import Optional

HERE = Path(__file__).resolve().parent
SOURCE_TREE = HERE.parent
NAME = "wenlei"
SUMMARY = "Assigns a category to a Chinese document (Python interface to libwenlei)"
LIBRARY_FILE = "libwenlei.so.1"
NATIVE = NAME + "/_native"


class BuildError(Exception):
    """The library is missing and cannot be built here; the message says what to run."""


def _version() -> str:
    text = (HERE / NAME / "_version.py").read_text(encoding="utf-8")
    return re.search(r'__version__ = "([^"]+)"', text).group(1)


def _platform_tag() -> str:
    return re.sub(r"[^a-zA-Z0-9]", "_", sysconfig.get_platform())


def _wheel_name() -> str:
    return "%s-%s-py3-none-%s.whl" % (NAME, _version(), _platform_tag())


# What each part of the package needs beyond the standard library: numpy
# for the estimator and the classifier's arrays; scikit-learn (the
# estimator's base classes, its model selection) and Dask (a bag's or a
# DataFrame's partitions, the training's search on a cluster) for the parts
# of their names.  On Debian they are the system's python3-numpy,
# python3-sklearn, python3-distributed and python3-pandas, seen from a venv
# made with --system-site-packages.
REQUIREMENTS = ["numpy"]
EXTRAS = {"sklearn": ["scikit-learn"], "dask": ["dask", "distributed", "pandas"]}


def _metadata() -> str:
    lines = ["Metadata-Version: 2.1", "Name: " + NAME, "Version: " + _version(),
             "Summary: " + SUMMARY, "Requires-Python: >=3.9"]
    lines += ["Requires-Dist: " + requirement for requirement in REQUIREMENTS]
    for extra, requirements in EXTRAS.items():
        lines.append("Provides-Extra: " + extra)
        lines += ['Requires-Dist: %s; extra == "%s"' % (requirement, extra)
                  for requirement in requirements]
    return "\n".join(lines + [""])


def _wheel_file(pure: bool) -> str:
    tag = "py3-none-any" if pure else "py3-none-" + _platform_tag()
    return ("Wheel-Version: 1.0\nGenerator: build_wenlei\nRoot-Is-Purelib: %s\nTag: %s\n"
            % ("true" if pure else "false", tag))


# ---- the library to carry ----

def _progress_stream():
    """Where the build shows its progress: the terminal pip runs on (pip
    keeps a backend's own output back unless -v), else standard error."""
    try:
        return open("/dev/tty", "w")
    except OSError:
        return sys.stderr


def _run(command, what: str, stream) -> None:
    """Runs a build step, its output where the progress goes."""
    try:
        subprocess.run(command, check=True, stdout=stream, stderr=stream)
    except (OSError, subprocess.CalledProcessError) as error:
        raise BuildError("wenlei: %s failed (%s); build the library with scripts/demo in the "
                         "source tree, or set WENLEI_LIBRARY to a built %s, then install again"
                         % (what, error, LIBRARY_FILE)) from None


def _build_folder() -> Path:
    """The source tree's own build/ when it holds a configured build (the
    developer's, as scripts/demo makes it), else a folder of the user's
    cache named after the source tree: the install writes nothing into the
    checkout, and builds again only what changed."""
    own = SOURCE_TREE / "build"
    if (own / "CMakeCache.txt").is_file():
        return own
    cache = Path(os.environ.get("XDG_CACHE_HOME") or Path.home() / ".cache")
    tag = hashlib.sha256(str(SOURCE_TREE).encode("utf-8")).hexdigest()[:12]
    return cache / "wenlei" / ("python-build-" + tag)


def _build_in_source_tree(build: Optional[Path] = None) -> Path:
    """libwenlei.so.1 built from this source tree (in build, by default the
    _build_folder), brought up to date."""
    build = build or _build_folder()
    if not (SOURCE_TREE / "CMakeLists.txt").is_file():
        raise BuildError("wenlei: no libwenlei to install: set WENLEI_LIBRARY to a built %s "
                         "and install again" % LIBRARY_FILE)
    if shutil.which("cmake") is None:
        raise BuildError("wenlei: the library is not built and cmake is missing; run scripts/demo "
                         "in the source tree (it installs what the build needs), then install again")
    stream = _progress_stream()
    try:
        stream.write("wenlei: building libwenlei in %s (minutes the first time; scripts/build-wheel "
                     "writes a wheel that installs anywhere without building)\n" % build)
        stream.flush()
        if not (build / "CMakeCache.txt").is_file():
            generator = ["-G", "Ninja"] if shutil.which("ninja") else []
            _run(["cmake", "-S", str(SOURCE_TREE), "-B", str(build),
                  "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DWENLEI_BUILD_TESTS=OFF",
                  "-DWENLEI_BUILD_TOOLS=OFF"] + generator,
                 "configuring the library's build", stream)
        _run(["cmake", "--build", str(build), "--target", "wenlei"], "building the library", stream)
    finally:
        if stream is not sys.stderr:
            stream.close()
    return build / LIBRARY_FILE


def _in_prefix(library: Path, relative: str, probe: str = "") -> Optional[Path]:
    """relative in the library's install prefix (lib/.. or lib/<arch>/..),
    when it holds probe there; None outside an install prefix."""
    for up in (library.parent.parent, library.parent.parent.parent):
        if (up / relative / probe).exists():
            return up / relative
    return None


def _models_beside(library: Path) -> Path:
    """The models folder of the library's install prefix, else of this tree."""
    return _in_prefix(library, "share/wenlei/models", "help-zh") or SOURCE_TREE / "models"


def _header_beside(library: Path) -> Path:
    """wenlei.h of the library's install prefix, else of this tree."""
    return (_in_prefix(library, "include/wenlei/wenlei.h")
            or SOURCE_TREE / "include" / "wenlei" / "wenlei.h")


def _chosen_library() -> Path:
    chosen = os.environ.get("WENLEI_LIBRARY")
    library = Path(chosen).resolve() if chosen else _build_in_source_tree()
    if not library.is_file():
        raise BuildError("wenlei: the library %s does not exist; build it (scripts/demo) or set "
                         "WENLEI_LIBRARY to a built %s" % (library, LIBRARY_FILE))
    return library


def _library_bytes(library: Path) -> bytes:
    """The library without its debugging information, when strip is there."""
    if shutil.which("strip") is None:
        return library.read_bytes()
    with tempfile.TemporaryDirectory() as scratch:
        copy = Path(scratch) / LIBRARY_FILE
        shutil.copyfile(library, copy)
        subprocess.run(["strip", "--strip-debug", str(copy)], check=True)
        return copy.read_bytes()


def _native_files():
    """(name in the wheel, bytes): the library and its models, as a prefix."""
    library = _chosen_library()
    models = _models_beside(library)
    yield NATIVE + "/lib/" + LIBRARY_FILE, _library_bytes(library)
    # The package reads its status and encoding numbers from the header.
    yield NATIVE + "/include/wenlei/wenlei.h", _header_beside(library).read_bytes()
    shared = NATIVE + "/share/wenlei/models/"
    for path in sorted((models / "help-zh").rglob("*")):
        if path.is_file():
            yield shared + path.relative_to(models).as_posix(), path.read_bytes()
    for name in ("dict.txt", "README.md"):
        path = models / "dictionary" / name
        if path.is_file():
            yield shared + "dictionary/" + name, path.read_bytes()
    # Training with the defaults reads the stop list.
    yield shared + "stop-words.txt", (models / "stop-words.txt").read_bytes()


def _package_files():
    """(name in the wheel, bytes) of every file of the package."""
    package = HERE / NAME
    for path in sorted(package.rglob("*")):
        relative = path.relative_to(HERE).as_posix()
        if path.is_file() and "__pycache__" not in relative and not relative.startswith(NATIVE):
            yield relative, path.read_bytes()


def _dist_info() -> str:
    return "%s-%s.dist-info" % (NAME, _version())


def _write_wheel(wheel_directory, wheel_name, files) -> str:
    record_name = _dist_info() + "/RECORD"
    records = []
    with zipfile.ZipFile(os.path.join(wheel_directory, wheel_name), "w", zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files:
            info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = (0o755 if name.endswith(LIBRARY_FILE) else 0o644) << 16
            wheel.writestr(info, data)
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
            records.append("%s,sha256=%s,%d" % (name, digest, len(data)))
        records.append(record_name + ",,")
        wheel.writestr(record_name, "\n".join(records) + "\n")
    return wheel_name


def _dist_info_files(pure: bool):
    return [
        (_dist_info() + "/METADATA", _metadata().encode("utf-8")),
        (_dist_info() + "/WHEEL", _wheel_file(pure).encode("utf-8")),
        (_dist_info() + "/top_level.txt", (NAME + "\n").encode("utf-8")),
    ]


def _one_line_failure(build):
    """Runs a hook; a BuildError ends the build with its one line."""
    try:
        return build()
    except BuildError as error:
        raise SystemExit(str(error)) from None


# ---- PEP 517 / PEP 660 hooks ----

def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    target = Path(metadata_directory) / _dist_info()
    target.mkdir(parents=True, exist_ok=True)
    for name, data in _dist_info_files(pure=False):
        (Path(metadata_directory) / name).write_bytes(data)
    return _dist_info()


prepare_metadata_for_build_editable = prepare_metadata_for_build_wheel


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _one_line_failure(lambda: _write_wheel(
        wheel_directory, _wheel_name(),
        list(_package_files()) + list(_native_files()) + _dist_info_files(pure=False)))


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    """An editable install: a .pth file puts this folder on sys.path, and
    the package loads build/ of this tree (built here when missing)."""
    if not os.environ.get("WENLEI_LIBRARY"):
        _one_line_failure(lambda: _build_in_source_tree(SOURCE_TREE / "build"))
    return _write_wheel(wheel_directory, "%s-%s-py3-none-any.whl" % (NAME, _version()),
                        [(NAME + ".pth", (str(HERE) + "\n").encode("utf-8"))]
                        + _dist_info_files(pure=True))


if __name__ == "__main__":
    # python3 build_wenlei.py DIRECTORY: writes the wheel there, prints its path.
    if len(sys.argv) != 2:
        raise SystemExit("usage: build_wenlei.py WHEEL-DIRECTORY")
    os.makedirs(sys.argv[1], exist_ok=True)
    print(os.path.join(sys.argv[1], build_wheel(sys.argv[1])))
