"""The exceptions: every failure of the library arrives as a wenlei.Error."""

import re
from pathlib import Path
from typing import Dict, Optional

_PACKAGE = Path(__file__).resolve().parent
# The header the package carries (in its install prefix), or the source tree's.
HEADERS = [_PACKAGE / "_native" / "include" / "wenlei" / "wenlei.h",
           _PACKAGE.parent.parent / "include" / "wenlei" / "wenlei.h"]


def header_constants() -> Dict[str, int]:
    """The numbers of enum wenlei_status and enum wenlei_encoding, by their
    names without WENLEI_, as <wenlei/wenlei.h> defines them: the one
    definition the package reads rather than copies."""
    for header in HEADERS:
        if header.is_file():
            text = header.read_text(encoding="utf-8")
            enums = re.findall(r"typedef enum wenlei_(?:status|encoding) \{(.*?)\}", text, re.S)
            return {name: int(number) for body in enums
                    for name, number in re.findall(r"WENLEI_([A-Z0-9_]+) = (\d+)", body)}
    raise ImportError("wenlei: the package's copy of wenlei.h is missing (looked for %s)"
                      % ", ".join(map(str, HEADERS)))


_CONSTANTS = header_constants()
# The library's status codes, their names from the library itself
# (wenlei_status_name); and the encodings of words (enum wenlei_encoding).
_NAMES = ("OK", "INVALID_ARGUMENT", "NOT_FOUND", "IO_ERROR", "CORRUPT", "MISMATCH", "BAD_ENCODING",
          "TOO_LARGE", "NO_MEMORY", "INTERNAL", "CANCELLED", "UTF8", "GBK")
(OK, INVALID_ARGUMENT, NOT_FOUND, IO_ERROR, CORRUPT, MISMATCH, BAD_ENCODING, TOO_LARGE, NO_MEMORY,
 INTERNAL, CANCELLED, UTF8, GBK) = (_CONSTANTS[name] for name in _NAMES)


class Error(Exception):
    """A failure reported by wenlei, with the library's own message.

    ``status`` is the library's status code (see ``wenlei.h``), ``message``
    its one-line description, and ``index`` the position of the document in
    a batch when the failure belongs to one document of it.
    """

    def __init__(self, message: str, status: int = INTERNAL, index: Optional[int] = None) -> None:
        super().__init__(message)
        self.message = message
        self.status = status
        self.index = index

    @property
    def status_name(self) -> str:
        """The library's name for ``status`` ("not found", "corrupt", ...)."""
        from . import _library
        return _library.status_name(self.status)

    def __str__(self) -> str:
        if self.index is None:
            return self.message
        return "document %d: %s" % (self.index, self.message)

    def __reduce__(self):
        # Errors travel between processes (Dask workers) intact.
        return (self.__class__, (self.message, self.status, self.index))


class LibraryNotFoundError(Error):
    """libwenlei could not be found or loaded."""


class ResourceError(Error):
    """A resource set or dictionary that is missing, unreadable, damaged, or
    whose parts do not fit together (``status`` tells which)."""


class DocumentError(Error, ValueError):
    """A document that cannot be classified: not UTF-8 (or not GBK where GBK
    was named), or over the size limit."""


class ClosedError(Error):
    """The classifier was closed."""


class InvalidArgumentError(Error, ValueError):
    """An argument the library refuses: a training option's value, a class
    name training cannot store, ..."""


class CancelledError(Error):
    """Training was stopped by its progress callback."""


_CLASSES = {
    INVALID_ARGUMENT: InvalidArgumentError,
    NOT_FOUND: ResourceError,
    IO_ERROR: ResourceError,
    CORRUPT: ResourceError,
    MISMATCH: ResourceError,
    BAD_ENCODING: DocumentError,
    TOO_LARGE: DocumentError,
    CANCELLED: CancelledError,
}


def error_for_status(status: int, message: str, index: Optional[int] = None) -> Error:
    return _CLASSES.get(status, Error)(message, status, index)
