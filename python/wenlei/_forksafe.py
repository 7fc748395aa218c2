"""Locks that a forked child can use.

fork() copies a lock as it is: held by a thread of the parent that does not
exist in the child, it would stay held for ever there.  Everything here is
renewed in the child right after a fork, before any code of the child runs.
"""

import os
import threading
import weakref

_renewed: "weakref.WeakSet" = weakref.WeakSet()


class Lock:
    """A threading.Lock that a forked child finds free."""

    def __init__(self) -> None:
        self._lock = threading.Lock()
        _renewed.add(self)

    def _after_fork(self) -> None:
        self._lock = threading.Lock()

    def acquire(self, blocking: bool = True, timeout: float = -1) -> bool:
        return self._lock.acquire(blocking, timeout)

    def release(self) -> None:
        self._lock.release()

    def locked(self) -> bool:
        return self._lock.locked()

    def __enter__(self) -> bool:
        return self._lock.acquire()

    def __exit__(self, *exception) -> None:
        self._lock.release()


def renew_after_fork(thing) -> None:
    """Calls thing._after_fork() in every child forked from now on, while
    thing lives."""
    _renewed.add(thing)


def _renew_all() -> None:
    for thing in list(_renewed):
        thing._after_fork()


if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_renew_all)
