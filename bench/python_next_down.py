#!/usr/bin/env python3
"""Times drennow.next_down on every kind of input, and against a pure-Python pairwise search.

    PYTHONPATH=build/python python3 bench/python_next_down.py [--basins N] [--rounds R] [--sample S]
        [--interrupts I]

Writes N basins of a random complete subdivision (codes of up to nine digits
1-9, in random order, identifiers unique), then times next_down with
identifiers on NumPy int32 arrays, on NumPy int64 arrays (NumPy's and pandas'
default), on Python lists of integers and of texts, and on a NumPy array of
texts, and without identifiers; side by side: each round runs every input in
turn, so a change of the machine's load falls on all of them. Each figure is
the median of its rounds. The pairwise search (every code compared with the
codes in descending order, two at a time, until the first one downstream, as
Python tools for Pfafstetter codes do it) is timed on S codes drawn at random
and extrapolated to N; its answers are checked against next_down's for those
codes. Last, I times over, SIGINT is sent at a random moment of a call on the
int64 arrays, and the time until KeyboardInterrupt reaches the caller is
measured.
"""

import argparse
import os
import random
import signal
import statistics
import threading
import time

import numpy as np

import drennow


def subdivision(rng, count):
    """Codes of about count basins: units subdivided at random into 1-9 until there are enough."""
    units = [str(d) for d in range(1, 10)]
    leaves = []
    while units and len(leaves) + len(units) < count:
        unit = units.pop(rng.randrange(len(units)))
        if len(unit) < 9:
            units.extend(unit + str(d) for d in range(1, 10))
        else:
            leaves.append(unit)
    codes = [int(c) for c in leaves + units]
    rng.shuffle(codes)
    return codes


def downstream_of(basin, candidate):
    """Whether the candidate receives the basin's water, decided from the two
    codes' digits alone (codes without zeros): of the same length and first
    digit, the basin not on the outlet's interbasins, the candidate not on
    the main stem, and the candidate's digits odd from where they first
    differ on."""
    a, b = str(basin), str(candidate)
    if len(a) != len(b) or a[0] != b[0] or candidate >= basin:
        return False
    first_even = next((i for i, digit in enumerate(a) if digit not in "13579"), len(a))
    if all(digit == "1" for digit in a[first_even + 1:]) or all(digit in "13579" for digit in b[:-1]):
        return False
    k = next(i for i in range(len(a)) if a[i] != b[i])
    return all(digit in "13579" for digit in b[k:])


def pairwise_next_down(basin, descending, identifier):
    for candidate in descending:
        if candidate < basin and downstream_of(basin, candidate):
            return identifier[candidate]
    return None


def timed_side_by_side(jobs, rounds):
    """For each job, the median, least and most wall-clock seconds and the median of the process's CPU
    seconds, the jobs taking turns round after round: other work on the machine lengthens the first,
    hardly the last."""
    seconds = {label: [] for label in jobs}
    cpu = {label: [] for label in jobs}
    for _ in range(rounds):
        for label, job in jobs.items():
            start, start_cpu = time.perf_counter(), time.process_time()
            job()
            seconds[label].append(time.perf_counter() - start)
            cpu[label].append(time.process_time() - start_cpu)
    return {label: (statistics.median(seconds[label]), min(seconds[label]), max(seconds[label]),
                    statistics.median(cpu[label])) for label in jobs}


def interrupt_delays(job, full, trials, rng):
    """Seconds from SIGINT, sent at a random moment of the job's first nine tenths (full: its time), to
    the KeyboardInterrupt; None where the job returned instead."""
    delays = []
    for _ in range(trials):
        sent = []

        def press():
            sent.append(time.perf_counter())
            os.kill(os.getpid(), signal.SIGINT)

        timer = threading.Timer(rng.uniform(0.0, 0.9 * full), press)
        timer.start()
        try:
            job()
            delays.append(None)
        except KeyboardInterrupt:
            delays.append(time.perf_counter() - sent[0])
        timer.join()
    return delays


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--basins", type=int, default=1_000_000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--sample", type=int, default=20)
    parser.add_argument("--interrupts", type=int, default=10)
    options = parser.parse_args()

    rng = random.Random(2024)
    codes = subdivision(rng, options.basins)
    ids = rng.sample(range(1, 10 * len(codes)), len(codes))
    code_array, id_array = np.array(codes, dtype=np.int32), np.array(ids, dtype=np.int32)
    wide_codes, wide_ids = code_array.astype(np.int64), id_array.astype(np.int64)
    code_texts = [str(code) for code in codes]
    print(f"{len(codes):,} basins, {options.rounds} rounds (median, min-max); load average "
          f"{os.getloadavg()[0]:.1f}")

    jobs = {
        "next_down, identifiers, NumPy int32 arrays": lambda: drennow.next_down(code_array, ids=id_array),
        "next_down, identifiers, NumPy int64 arrays": lambda: drennow.next_down(wide_codes, ids=wide_ids),
        "next_down, identifiers, lists of integers": lambda: drennow.next_down(codes, ids=ids),
        "next_down, identifiers, codes as a list of texts": lambda: drennow.next_down(code_texts, ids=ids),
        "next_down, identifiers, codes as a NumPy array of texts":
            lambda: drennow.next_down(np.array(code_texts), ids=id_array),
        "next_down, codes, NumPy int32 array": lambda: drennow.next_down(code_array),
    }
    figures = timed_side_by_side(jobs, options.rounds)
    for label, (median, low, high, cpu) in figures.items():
        print(f"{label}: {median:.3f} s ({low:.3f}-{high:.3f}), CPU {cpu:.3f} s")
    narrow, wide = figures[next(iter(jobs))][0], figures["next_down, identifiers, NumPy int64 arrays"][0]
    integers = figures["next_down, identifiers, lists of integers"][0]
    texts = figures["next_down, identifiers, codes as a list of texts"][0]
    print(f"int64 / int32 arrays: {wide / narrow:.2f} x; texts / integers (lists): {texts / integers:.2f} x")
    ours = narrow
    values = drennow.next_down(code_array, ids=id_array)
    assert drennow.next_down(code_texts, ids=ids).tolist() == values.tolist() == \
        drennow.next_down(wide_codes, ids=wide_ids).tolist()

    descending = sorted(set(codes), reverse=True)
    identifier = {}
    for code, basin_id in zip(codes, ids):
        identifier.setdefault(code, basin_id)
    drawn = rng.sample(range(len(codes)), options.sample)
    start = time.perf_counter()
    answers = [pairwise_next_down(codes[i], descending, identifier) for i in drawn]
    per_basin = (time.perf_counter() - start) / options.sample
    agreeing = sum(answer == values[i] or (answer is None and values[i] < 0) for answer, i in zip(answers, drawn))
    pairwise = per_basin * len(codes)
    print(f"pure-Python pairwise search: {per_basin * 1000:.2f} ms per basin, about {pairwise:,.0f} s for all "
          f"(extrapolated from {options.sample}); its answers equal next_down's for {agreeing} of {options.sample}")
    print(f"pairwise / next_down with identifiers: {pairwise / ours:,.0f} x")

    # A process started in the background of a shell inherits SIGINT ignored.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    if options.interrupts:
        delays = interrupt_delays(lambda: drennow.next_down(wide_codes, ids=wide_ids), wide, options.interrupts, rng)
        caught = sorted(delay for delay in delays if delay is not None)
        print(f"SIGINT during next_down on int64 arrays: KeyboardInterrupt in {len(caught)} of {len(delays)} "
              f"trials, after {1000 * caught[len(caught) // 2]:.0f} ms (median), {1000 * caught[-1]:.0f} ms "
              f"at most" if caught else "SIGINT: no KeyboardInterrupt")


if __name__ == "__main__":
    main()
