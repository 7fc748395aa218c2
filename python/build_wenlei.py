"""The package's build backend: writes the wheel with the standard library.

A venv made by Debian's python3 holds pip and setuptools but not wheel, so
setuptools cannot build a wheel there without the network; this backend has
no requirements at all.  It also records which libwenlei the installed
package is to load: WENLEI_LIBRARY when it is set at install time, else the
library built in this source tree (../build), else none (the package then
looks in the usual places when it is imported).
"""

import base64
import hashlib
import os
import re
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
NAME = "wenlei"
SUMMARY = "Assigns a category to a Chinese document (Python interface to libwenlei)"
LIBRARY_FILE = "libwenlei.so.1"


def _version() -> str:
    text = (HERE / NAME / "_version.py").read_text(encoding="utf-8")
    return re.search(r'__version__ = "([^"]+)"', text).group(1)


def _metadata() -> str:
    return "\n".join([
        "Metadata-Version: 2.1",
        "Name: " + NAME,
        "Version: " + _version(),
        "Summary: " + SUMMARY,
        "Requires-Python: >=3.9",
        "",
    ])


def _wheel_file() -> str:
    return "Wheel-Version: 1.0\nGenerator: build_wenlei\nRoot-Is-Purelib: true\nTag: py3-none-any\n"


def _recorded_library():
    """The library the installed package is to load, or None."""
    chosen = os.environ.get("WENLEI_LIBRARY")
    if chosen:
        return os.path.abspath(chosen)
    built = HERE.parent / "build" / LIBRARY_FILE
    return str(built) if built.is_file() else None


def _installed_module() -> str:
    return ('"""Written when the package was built: the library it was installed with."""\n'
            "LIBRARY = %r\n" % _recorded_library())


def _package_files():
    """(name in the wheel, bytes) of every file of the package."""
    package = HERE / NAME
    for path in sorted(package.rglob("*")):
        relative = path.relative_to(HERE).as_posix()
        if path.is_file() and "__pycache__" not in relative and path.name != "_installed.py":
            yield relative, path.read_bytes()
    yield NAME + "/_installed.py", _installed_module().encode("utf-8")


def _dist_info() -> str:
    return "%s-%s.dist-info" % (NAME, _version())


def _write_wheel(wheel_directory, files) -> str:
    wheel_name = "%s-%s-py3-none-any.whl" % (NAME, _version())
    record_name = _dist_info() + "/RECORD"
    records = []
    with zipfile.ZipFile(os.path.join(wheel_directory, wheel_name), "w", zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files:
            wheel.writestr(name, data)
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
            records.append("%s,sha256=%s,%d" % (name, digest, len(data)))
        records.append(record_name + ",,")
        wheel.writestr(record_name, "\n".join(records) + "\n")
    return wheel_name


def _dist_info_files():
    return [
        (_dist_info() + "/METADATA", _metadata().encode("utf-8")),
        (_dist_info() + "/WHEEL", _wheel_file().encode("utf-8")),
        (_dist_info() + "/top_level.txt", (NAME + "\n").encode("utf-8")),
    ]


# ---- PEP 517 / PEP 660 hooks ----

def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    target = Path(metadata_directory) / _dist_info()
    target.mkdir(parents=True, exist_ok=True)
    for name, data in _dist_info_files():
        (Path(metadata_directory) / name).write_bytes(data)
    return _dist_info()


prepare_metadata_for_build_editable = prepare_metadata_for_build_wheel


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory, list(_package_files()) + _dist_info_files())


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    """An editable install: a .pth file puts this folder on sys.path."""
    return _write_wheel(wheel_directory, [(NAME + ".pth", (str(HERE) + "\n").encode("utf-8"))]
                        + _dist_info_files())
