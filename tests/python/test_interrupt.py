"""Ctrl-C stops next_down wherever it is in its work, and next_down never returns after one.

How soon the KeyboardInterrupt comes is measured by bench/python_next_down.py."""

import os
import signal
import sys
import threading

import numpy as np
import pytest

import drennow
from drennow import _drennow

COUNT = 10_000_000


@pytest.fixture(autouse=True)
def sigint_raises_keyboard_interrupt():
    # A process started in the background of a shell inherits SIGINT ignored.
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    yield
    signal.signal(signal.SIGINT, previous)


@pytest.fixture(scope="module")
def large_input():
    rng = np.random.default_rng(23)
    codes = rng.integers(10**8, 10**9, COUNT).astype(np.int32)
    ids = (rng.permutation(COUNT) + 1).astype(np.int32)
    return codes, ids


def interrupted(job, delay):
    """Runs the job with SIGINT sent after delay seconds: whether a KeyboardInterrupt came, and how the
    compiled next_down ended each time ("c_return" or "c_exception")."""
    endings = []

    def watch(frame, event, argument):
        if event in ("c_return", "c_exception") and argument is _drennow.next_down:
            endings.append(event)

    presser = threading.Timer(delay, os.kill, (os.getpid(), signal.SIGINT))
    presser.start()
    sys.setprofile(watch)
    try:
        job()
        raised = False
    except KeyboardInterrupt:
        raised = True
    finally:
        sys.setprofile(None)
        presser.join()
    return raised, endings


# From soon after the call begins (reading and sorting the codes) to well into
# the pass; the call takes several seconds.
@pytest.mark.parametrize("delay", [0.05, 0.4, 1.5])
@pytest.mark.parametrize("with_ids", [False, True])
def test_sigint_during_a_ten_million_code_call_raises_keyboard_interrupt_from_it(large_input, delay, with_ids):
    codes, ids = large_input
    raised, endings = interrupted(
        lambda: drennow.next_down(codes, ids=ids if with_ids else None, return_failures=True), delay)
    # Before, the call ran to its end and returned; the interrupt came after.
    assert raised and endings == ["c_exception"]
    assert drennow.next_down([1234, 1233]).tolist() == [1233, -5]


def test_sigint_while_a_long_list_is_read_raises_keyboard_interrupt_from_the_call():
    # Reading a list holds the interpreter's lock throughout.
    codes = list(range(10**8, 10**8 + 3_000_000))
    raised, endings = interrupted(lambda: drennow.next_down(codes), 0.02)
    assert raised and endings == ["c_exception"]
