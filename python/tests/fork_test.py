"""A child forked while other threads hold the package's locks still works."""

import multiprocessing
import threading

import wenlei
from wenlei import _classifier, _library


def _hold(lock_or_gate, held, release):
    with (lock_or_gate.open() if isinstance(lock_or_gate, _classifier._Gate) else lock_or_gate):
        held.release()
        release.wait()


def _child(classifier):
    assert wenlei.segment("插入图表") == ["插入", "图表"]
    assert classifier.classify("插入图表").label == "图表"
    classifier.close()  # would wait for the parent's running call
    with wenlei.Classifier() as opened:
        assert opened.classify_many(["插入图表"])[0].label == "图表"


def test_fork_while_locks_are_held():
    classifier = wenlei.Classifier()
    wenlei.segment("插入图表")
    release = threading.Event()
    held = threading.Semaphore(0)
    locks = [_library._lock, _classifier._segmenters_lock, classifier._gate]
    holders = [threading.Thread(target=_hold, args=(lock, held, release)) for lock in locks]
    for holder in holders:
        holder.start()
    for _ in holders:
        held.acquire()
    try:
        child = multiprocessing.get_context("fork").Process(target=_child, args=(classifier,))
        child.start()
        child.join(120)  # a hang guard, not a time limit on the work
        if child.is_alive():
            child.kill()
            child.join()
        assert child.exitcode == 0
    finally:
        release.set()
        for holder in holders:
            holder.join()
    classifier.close()
