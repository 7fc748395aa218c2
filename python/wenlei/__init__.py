"""wenlei: assigns a category to a Chinese document.

    >>> import wenlei
    >>> result = wenlei.Classifier().classify("插入图表")
    >>> result.label, result.probabilities             # doctest: +SKIP
    ('图表', {'图表': 0.83, ...})
    >>> wenlei.segment("插入图表")
    ['插入', '图表']

A thin layer over libwenlei's C interface (<wenlei/wenlei.h>), through
ctypes.  The library is loaded on first use from WENLEI_LIBRARY when that is
set, else the one the installed package carries (wenlei/_native/), the build
tree beside this source folder, or the dynamic loader's search path; it must
be of the package's major version.  Every failure raises wenlei.Error (or a
subclass) with the library's message.  wenlei.train makes resource sets, and
wenlei.sklearn.TextClassifier is a scikit-learn estimator over both.
"""

from ._classifier import Arrays, Classifier, Result, Segmenter, segment
from ._errors import (CancelledError, ClosedError, DocumentError, Error, InvalidArgumentError,
                      LibraryNotFoundError, ResourceError)
from ._training import train, training_options
from ._version import __version__

for _public in (Arrays, Classifier, Result, Segmenter, segment, CancelledError, ClosedError,
                DocumentError, Error, InvalidArgumentError, LibraryNotFoundError, ResourceError,
                train):
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
    "CancelledError", "InvalidArgumentError", "train", "training_options",
    "library_version", "library_path", "__version__",
]
