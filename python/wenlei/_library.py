"""Finding libwenlei and declaring the C functions of <wenlei/wenlei.h>."""

import ctypes
import ctypes.util
import os
from pathlib import Path
from typing import List, Optional

from . import _forksafe
from ._errors import GBK, NOT_FOUND, OK, UTF8, Error, LibraryNotFoundError, error_for_status
from ._version import __version__

LIBRARY_FILE = "libwenlei.so.1"


_c_size_p = SIZES = ctypes.POINTER(ctypes.c_size_t)
_c_char_pp = CHAR_POINTERS = ctypes.POINTER(ctypes.c_char_p)
_message_p = ctypes.POINTER(ctypes.c_void_p)
_out_p = ctypes.POINTER(ctypes.c_void_p)

# wenlei_progress_callback: context, stage, done, total -> nonzero to stop.
PROGRESS_CALLBACK = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_double,
                                     ctypes.c_double)

# name: (result type, argument types)
_FUNCTIONS = {
    "wenlei_version": (ctypes.c_char_p, []),
    "wenlei_status_name": (ctypes.c_char_p, [ctypes.c_int]),
    "wenlei_free": (None, [ctypes.c_void_p]),
    "wenlei_default_resources": (ctypes.c_char_p, []),
    "wenlei_default_dictionary": (ctypes.c_char_p, []),
    "wenlei_options_create": (ctypes.c_void_p, []),
    "wenlei_options_destroy": (None, [ctypes.c_void_p]),
    "wenlei_options_set_dictionary": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_char_p]),
    "wenlei_options_set_min_confidence": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_double]),
    "wenlei_options_set_max_document_bytes": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_size_t]),
    "wenlei_open": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_void_p, _out_p, _message_p]),
    "wenlei_close": (None, [ctypes.c_void_p]),
    "wenlei_class_count": (ctypes.c_size_t, [ctypes.c_void_p]),
    "wenlei_class_name": (ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_size_t]),
    "wenlei_min_confidence": (ctypes.c_double, [ctypes.c_void_p]),
    "wenlei_vocabulary_size": (ctypes.c_size_t, [ctypes.c_void_p]),
    "wenlei_feature_count": (ctypes.c_size_t, [ctypes.c_void_p]),
    "wenlei_kernel": (ctypes.c_char_p, [ctypes.c_void_p]),
    "wenlei_trained_with": (ctypes.c_char_p, [ctypes.c_void_p]),
    "wenlei_classify_text": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t,
                                            _out_p, _message_p]),
    "wenlei_classify_words": (ctypes.c_int, [ctypes.c_void_p, _c_char_pp, _c_size_p, ctypes.c_size_t,
                                             ctypes.c_int, _out_p, _message_p]),
    "wenlei_classify_batch": (ctypes.c_int, [ctypes.c_void_p, _c_char_pp, _c_size_p, ctypes.c_size_t,
                                             _out_p, _message_p]),
    "wenlei_result_free": (None, [ctypes.c_void_p]),
    "wenlei_result_status": (ctypes.c_int, [ctypes.c_void_p]),
    "wenlei_result_error": (ctypes.c_char_p, [ctypes.c_void_p]),
    "wenlei_result_answer": (ctypes.c_char_p, [ctypes.c_void_p]),
    "wenlei_result_answer_gbk": (ctypes.c_char_p, [ctypes.c_void_p]),
    "wenlei_result_name_count": (ctypes.c_size_t, [ctypes.c_void_p]),
    "wenlei_result_name": (ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_size_t]),
    "wenlei_result_class_count": (ctypes.c_size_t, [ctypes.c_void_p]),
    "wenlei_result_class_name": (ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_size_t]),
    "wenlei_result_class_number": (ctypes.c_size_t, [ctypes.c_void_p, ctypes.c_size_t]),
    "wenlei_result_probability": (ctypes.c_double, [ctypes.c_void_p, ctypes.c_size_t]),
    "wenlei_result_margin": (ctypes.c_double, [ctypes.c_void_p, ctypes.c_size_t]),
    "wenlei_result_words": (ctypes.c_size_t, [ctypes.c_void_p]),
    "wenlei_result_known_words": (ctypes.c_size_t, [ctypes.c_void_p]),
    "wenlei_result_dropped_characters": (ctypes.c_size_t, [ctypes.c_void_p]),
    "wenlei_result_confidence": (ctypes.c_double, [ctypes.c_void_p]),
    "wenlei_result_unknown": (ctypes.c_int, [ctypes.c_void_p]),
    "wenlei_result_explain": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_size_t, _message_p]),
    "wenlei_result_explanation_count": (ctypes.c_size_t, [ctypes.c_void_p]),
    "wenlei_result_explanation_word": (ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_size_t]),
    "wenlei_result_explanation_contribution": (ctypes.c_double, [ctypes.c_void_p, ctypes.c_size_t]),
    "wenlei_result_explanation_rest": (ctypes.c_double, [ctypes.c_void_p]),
    "wenlei_result_decision_value": (ctypes.c_double, [ctypes.c_void_p]),
    "wenlei_segmenter_open": (ctypes.c_int, [ctypes.c_char_p, _out_p, _message_p]),
    "wenlei_segmenter_close": (None, [ctypes.c_void_p]),
    "wenlei_segment": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t,
                                      _out_p, _message_p]),
    "wenlei_words_count": (ctypes.c_size_t, [ctypes.c_void_p]),
    "wenlei_words_at": (ctypes.c_void_p, [ctypes.c_void_p, ctypes.c_size_t, _c_size_p]),
    "wenlei_words_free": (None, [ctypes.c_void_p]),
}

# Functions of later additions to the interface: declared when the loaded
# library has them (has() tells).
_OPTIONAL_FUNCTIONS = {
    "wenlei_warning": (ctypes.c_char_p, [ctypes.c_void_p]),
    "wenlei_class_label": (ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_size_t]),
    "wenlei_result_explain_flags": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_uint,
                                                   _message_p]),
    "wenlei_train_options_create": (ctypes.c_void_p, []),
    "wenlei_train_options_destroy": (None, [ctypes.c_void_p]),
    "wenlei_train_options_set": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p,
                                                _message_p]),
    "wenlei_train_options_set_progress": (None, [ctypes.c_void_p, PROGRESS_CALLBACK, ctypes.c_void_p]),
    "wenlei_train_option_name": (ctypes.c_char_p, [ctypes.c_size_t]),
    "wenlei_train_option_default": (ctypes.c_char_p, [ctypes.c_size_t]),
    "wenlei_train_file": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_void_p, _message_p]),
    "wenlei_train_texts": (ctypes.c_int, [_c_char_pp, _c_char_pp, _c_size_p, ctypes.c_size_t,
                                          ctypes.c_char_p, ctypes.c_void_p, _message_p]),
}

_lock = _forksafe.Lock()
_library: Optional[ctypes.CDLL] = None

PACKAGE_FOLDER = Path(__file__).resolve().parent
# Where a wheel puts the library and the resource set it carries, laid out
# as an install prefix, so that the library finds its set from its own file.
BUNDLED_LIBRARY = PACKAGE_FOLDER / "_native" / "lib" / LIBRARY_FILE


def candidates() -> List[str]:
    """Where the library is looked for, in order."""
    found = []
    chosen = os.environ.get("WENLEI_LIBRARY")
    if chosen:
        return [chosen]  # the caller's choice, and nothing else
    if BUNDLED_LIBRARY.is_file():
        found.append(str(BUNDLED_LIBRARY))
    source_folder = PACKAGE_FOLDER.parent
    if (source_folder / "build_wenlei.py").is_file():  # run from the source tree
        found.append(str(source_folder.parent / "build" / LIBRARY_FILE))
    # The dynamic loader's own search (an install prefix in its path, LD_LIBRARY_PATH).
    found.append(ctypes.util.find_library("wenlei") or LIBRARY_FILE)
    return list(dict.fromkeys(found))


def _declare(library: ctypes.CDLL) -> None:
    for name, (result, arguments) in _FUNCTIONS.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = arguments
    for name, (result, arguments) in _OPTIONAL_FUNCTIONS.items():
        function = getattr(library, name, None)
        if function is not None:
            function.restype = result
            function.argtypes = arguments


def _major_minor(version: str):
    parts = version.split(".")
    try:
        return int(parts[0]), int(parts[1])
    except (IndexError, ValueError):
        return None


def version_problem(library_version: str) -> Optional[str]:
    """Why a library of this version cannot serve this package, or None.

    The same major version, and at least the package's minor one (which may
    use functions added in it)."""
    have, need = _major_minor(library_version), _major_minor(__version__)
    if have is not None and have[0] == need[0] and have[1] >= need[1]:
        return None
    return "version %s, this package needs %d.%d or a later %d.x" % (
        library_version, need[0], need[1], need[0])


def library() -> ctypes.CDLL:
    """The loaded library, loaded on first use."""
    global _library
    with _lock:
        if _library is not None:
            return _library
        tried = []
        for candidate in candidates():
            if os.sep in candidate and not os.path.exists(candidate):
                tried.append("%s (no such file)" % candidate)
                continue
            try:
                loaded = ctypes.CDLL(candidate)
                _declare(loaded)
            except (OSError, AttributeError) as error:
                tried.append("%s (%s)" % (candidate, error))
                continue
            problem = version_problem(text(loaded.wenlei_version()))
            if problem:
                tried.append("%s (%s)" % (candidate, problem))
                continue
            _library = loaded
            return _library
        raise LibraryNotFoundError(
            "libwenlei %s with the modern interface was not found; set WENLEI_LIBRARY to its path. "
            "Tried: %s" % (__version__, "; ".join(tried)), NOT_FOUND)


def has(name: str) -> bool:
    """Whether the loaded library has this function of a later addition."""
    return getattr(library(), name, None) is not None


def status_name(status: int) -> str:
    """The library's own name for a status code."""
    try:
        return text(library().wenlei_status_name(status))
    except LibraryNotFoundError:
        return "status %d" % status


def library_path() -> str:
    """The file the library was loaded from."""
    return library()._name


def take_message(message: ctypes.c_void_p) -> str:
    """The library's message (freed here), or an empty text."""
    if not message.value:
        return ""
    try:
        return ctypes.string_at(message.value).decode("utf-8", "replace")
    finally:
        library().wenlei_free(message.value)


def check(status: int, message: ctypes.c_void_p) -> None:
    """Raises the error for a failed call, with the library's message."""
    if status != OK:
        text = take_message(message)
        if not text:
            text = status_name(status)
        raise error_for_status(status, text)


def text(value: Optional[bytes]) -> str:
    return value.decode("utf-8", "replace") if value is not None else ""


__all__ = ["Error", "library", "library_path", "check", "take_message", "text", "candidates", "has",
           "status_name"]
