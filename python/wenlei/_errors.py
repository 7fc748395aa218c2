"""The exceptions: every failure of the library arrives as a wenlei.Error."""

from typing import Optional

# The library's status codes (enum wenlei_status); their names come from the
# library itself (wenlei_status_name).
INVALID_ARGUMENT = 1
NOT_FOUND = 2
IO_ERROR = 3
CORRUPT = 4
MISMATCH = 5
BAD_ENCODING = 6
TOO_LARGE = 7
NO_MEMORY = 8
INTERNAL = 9
CANCELLED = 10


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
