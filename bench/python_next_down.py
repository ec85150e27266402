#!/usr/bin/env python3
"""Times drennow.next_down against a pure-Python pairwise search.

    PYTHONPATH=build/python python3 bench/python_next_down.py [--basins N] [--rounds R] [--sample S]

Writes N basins of a random complete subdivision (codes of up to nine digits
1-9, in random order, identifiers unique), then times, round after round:
next_down with identifiers on a NumPy array, on Python lists, and without
identifiers; each figure is the median of its rounds. The pairwise search
(every code compared with the codes in descending order, two at a time,
until the first one downstream, as Python tools for Pfafstetter codes do it)
is timed on S codes drawn at random and extrapolated to N; its answers are
checked against next_down's for those codes.
"""

import argparse
import os
import random
import statistics
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


def timed(job, rounds):
    """Median, least and most wall-clock seconds, and the median of the process's CPU seconds:
    other work on the machine lengthens the first, hardly the last."""
    seconds, cpu = [], []
    for _ in range(rounds):
        start, start_cpu = time.perf_counter(), time.process_time()
        job()
        seconds.append(time.perf_counter() - start)
        cpu.append(time.process_time() - start_cpu)
    return statistics.median(seconds), min(seconds), max(seconds), statistics.median(cpu)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--basins", type=int, default=1_000_000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--sample", type=int, default=20)
    options = parser.parse_args()

    rng = random.Random(2024)
    codes = subdivision(rng, options.basins)
    ids = rng.sample(range(1, 10 * len(codes)), len(codes))
    code_array, id_array = np.array(codes, dtype=np.int32), np.array(ids, dtype=np.int32)
    print(f"{len(codes):,} basins, {options.rounds} rounds (median, min-max); load average "
          f"{os.getloadavg()[0]:.1f}")

    figures = [
        ("next_down, identifiers, NumPy arrays", lambda: drennow.next_down(code_array, ids=id_array)),
        ("next_down, identifiers, lists", lambda: drennow.next_down(codes, ids=ids)),
        ("next_down, codes, NumPy array", lambda: drennow.next_down(code_array)),
    ]
    medians = []
    for label, job in figures:
        median, low, high, cpu = timed(job, options.rounds)
        medians.append(median)
        print(f"{label}: {median:.3f} s ({low:.3f}-{high:.3f}), CPU {cpu:.3f} s")
    ours = medians[0]
    values = drennow.next_down(code_array, ids=id_array)

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


if __name__ == "__main__":
    main()
