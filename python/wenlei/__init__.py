"""wenlei: assigns a category to a Chinese document.

    >>> import wenlei
    >>> result = wenlei.Classifier().classify("插入图表")
    >>> result.answer, result.probabilities            # doctest: +SKIP
    ('图表', {'图表': 0.83, ...})
    >>> wenlei.segment("插入图表")
    ['插入', '图表']

A thin layer over libwenlei's C interface (<wenlei/wenlei.h>), through
ctypes.  The library is loaded on first use from WENLEI_LIBRARY when that is
set, else the library the package was installed with, the build tree beside
this source folder, or the dynamic loader's search path.  Every failure
raises wenlei.Error (or a subclass) with the library's message.
"""

from ._classifier import Arrays, Classifier, Result, Segmenter, segment
from ._errors import (CancelledError, ClosedError, DocumentError, Error, LibraryNotFoundError,
                      ResourceError)
from ._training import train
from ._version import __version__

for _public in (Arrays, Classifier, Result, Segmenter, segment, CancelledError, ClosedError,
                DocumentError, Error, LibraryNotFoundError, ResourceError, train):
    _public.__module__ = __name__
del _public


def library_version() -> str:
    """The loaded library's version, "MAJOR.MINOR.PATCH"."""
    from . import _library
    return _library.text(_library.library().wenlei_version())


def library_path() -> str:
    """The file the library was loaded from."""
    from . import _library
    return _library.library_path()


__all__ = [
    "Arrays", "Classifier", "Result", "Segmenter", "segment",
    "Error", "LibraryNotFoundError", "ResourceError", "DocumentError", "ClosedError",
    "CancelledError", "train",
    "library_version", "library_path", "__version__",
]
