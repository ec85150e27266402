"""Ctrl-C stops next_down wherever it is in its work, and next_down never returns after one."""

import os
import signal
import threading
import time

import numpy as np
import pytest

import drennow

COUNT = 10_000_000


@pytest.fixture(scope="module")
def large_input():
    rng = np.random.default_rng(23)
    codes = rng.integers(10**8, 10**9, COUNT).astype(np.int32)
    ids = (rng.permutation(COUNT) + 1).astype(np.int32)
    return codes, ids


# From soon after the call begins (reading and sorting the codes) to well into
# the pass; the call takes several seconds.
@pytest.mark.parametrize("delay", [0.05, 0.4, 1.5])
@pytest.mark.parametrize("with_ids", [False, True])
def test_sigint_during_a_ten_million_code_call_raises_keyboard_interrupt(large_input, delay, with_ids):
    codes, ids = large_input
    sent = threading.Event()

    def press_ctrl_c():
        time.sleep(delay)
        sent.set()
        os.kill(os.getpid(), signal.SIGINT)

    presser = threading.Thread(target=press_ctrl_c)
    returned = False
    presser.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            drennow.next_down(codes, ids=ids if with_ids else None, return_failures=True)
            returned = True
    finally:
        presser.join()
    assert sent.is_set() and not returned
    # The module works on afterwards.
    assert drennow.next_down([1234, 1233]).tolist() == [1233, -5]


def test_sigint_while_a_long_list_is_read_raises_keyboard_interrupt():
    # Reading a list holds the interpreter's lock throughout.
    codes = list(range(10**8, 10**8 + 3_000_000))
    presser = threading.Timer(0.02, os.kill, (os.getpid(), signal.SIGINT))
    returned = False
    presser.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            drennow.next_down(codes)
            returned = True
    finally:
        presser.join()
    assert not returned
