#!/usr/bin/env python3
"""Times drennow.Network on a million basins, against next_down and against what a user would write instead.

    PYTHONPATH=build/python python3 bench/python_network.py [--basins N] [--rounds R] [--pairs P]
        [--networkx-basins M]
    PYTHONPATH=build/python python3 bench/python_network.py --scale S

Makes N basins of a random complete subdivision (as bench/python_next_down.py
does: codes of up to nine digits 1-9, in random order, unique identifiers),
then, side by side in each of R rounds, times next_down with identifiers and
Network.from_codes on the same int32 arrays. On the network: accumulate
(sum) of a float64 column, upstream() of the basin with the largest upstream
set, and is_upstream() on P random pairs (half of them a basin and its
outlet), each beside a NumPy job of the same work (the level-by-level
accumulation a user would write, grouping the basins by their moves and
summing each level into the next with numpy.add.at; the interval test
written with NumPy on the network's ranks). Each figure is the median of its
rounds. The network's memory is its own account (memory_bytes) and the
growth of the process's resident memory while it is built, past the codes.
Last, networkx's ancestors() summed per basin on M basins of another
subdivision, checked against accumulate, and extrapolated to N basins by the
total size of the upstream sets (the work it does), and linearly.

With --scale, only Network.from_codes and accumulate are timed, once each,
on S basins of a complete subdivision made with NumPy (every unit
subdivided to the level where S basins fit, a random share of that level's
units once more), with the peak of the process's resident memory during
each past what it held before (the int32 codes, shuffled, included).
"""

import argparse
import ctypes
import os
import random
import statistics
import time
from typing import NamedTuple

import numpy as np

import drennow
from python_next_down import subdivision


class Timing(NamedTuple):
    wall: float  # median wall-clock seconds of the rounds
    cpu: float  # median CPU seconds of the process: less than wall where other work took the cores


def median_seconds(jobs, rounds):
    """Per job, its Timing, the jobs taking turns round after round: a change of the machine's load falls on
    all of them."""
    wall = {label: [] for label in jobs}
    cpu = {label: [] for label in jobs}
    for _ in range(rounds):
        for label, job in jobs.items():
            start, start_cpu = time.perf_counter(), time.process_time()
            job()
            wall[label].append(time.perf_counter() - start)
            cpu[label].append(time.process_time() - start_cpu)
    return {label: Timing(statistics.median(wall[label]), statistics.median(cpu[label])) for label in jobs}


def ms(timing):
    return f"{1000 * timing.wall:.1f} ms (CPU {1000 * timing.cpu:.1f} ms)"


def resident_bytes():
    """The process's resident memory, once the C library has handed back what it holds free."""
    ctypes.CDLL("libc.so.6").malloc_trim(0)
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def numpy_accumulation(downstream, moves, values):
    """The upstream sums a user would compute with NumPy: basins grouped by their moves, from the farthest
    level down, each level's sums added into the basins they drain into."""
    order = np.argsort(moves, kind="stable")
    bounds = np.searchsorted(moves[order], np.arange(moves.max() + 2))
    sums = values.copy()
    for level in range(moves.max(), 0, -1):
        basins = order[bounds[level]:bounds[level + 1]]
        np.add.at(sums, downstream[basins], sums[basins])
    return sums


def networkx_sums(downstream, values):
    """Per basin, the sum of values over networkx's ancestors and the basin itself (edges point downstream)."""
    import networkx

    graph = networkx.DiGraph()
    graph.add_nodes_from(range(len(downstream)))
    graph.add_edges_from((basin, int(down)) for basin, down in enumerate(downstream) if down >= 0)
    start = time.perf_counter()
    sums = np.array([values[basin] + sum(values[a] for a in networkx.ancestors(graph, basin))
                     for basin in range(len(downstream))])
    return sums, time.perf_counter() - start


def numpy_subdivision(generator, count):
    """About count codes of a complete subdivision, in random order, as int32: all of 1-9 subdivided level
    by level, the last level's units subdivided at random for the rest."""
    units = np.arange(1, 10, dtype=np.int64)
    while len(units) * 9 <= count:
        units = (units[:, None] * 10 + np.arange(1, 10)).ravel()
    share = (count - len(units)) / (8 * len(units))
    divided = generator.random(len(units)) < share
    finer = (units[divided][:, None] * 10 + np.arange(1, 10)).ravel()
    codes = np.concatenate([units[~divided], finer]).astype(np.int32)
    generator.shuffle(codes)
    return codes


def peak_resident_bytes():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    raise RuntimeError("no VmHWM in /proc/self/status")


def reset_peak():
    """Sets the peak of the resident memory to the memory resident now."""
    resident_bytes()
    with open("/proc/self/clear_refs", "w") as clear_refs:
        clear_refs.write("5")


def at_scale(count):
    codes = numpy_subdivision(np.random.default_rng(17), count)
    n = len(codes)
    print(f"{n:,} basins; load average {os.getloadavg()[0]:.1f}; the codes take {codes.nbytes / 2**20:,.0f} MiB")
    reset_peak()
    held = resident_bytes()
    start, start_cpu = time.perf_counter(), time.process_time()
    net = drennow.Network.from_codes(codes)
    print(f"Network.from_codes: {time.perf_counter() - start:.1f} s (CPU {time.process_time() - start_cpu:.1f} s), "
          f"peak resident memory {(peak_resident_bytes() - held) / 2**30:.2f} GiB past the codes "
          f"({(peak_resident_bytes() - held) / n:.0f} bytes a basin); the network holds "
          f"{net.memory_bytes / 2**30:.2f} GiB")
    values = np.random.default_rng(5).uniform(1.0, 100.0, n)
    reset_peak()
    held = resident_bytes()
    start, start_cpu = time.perf_counter(), time.process_time()
    sums = net.accumulate(values)
    print(f"accumulate (sum): {time.perf_counter() - start:.2f} s (CPU {time.process_time() - start_cpu:.2f} s), "
          f"peak resident memory {(peak_resident_bytes() - held) / 2**30:.2f} GiB past the network and values "
          f"(the result takes {sums.nbytes / 2**30:.2f} GiB)")
    assert np.isclose(sums[net.outlet == np.arange(n)].sum(), values.sum(), rtol=1e-9)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--basins", type=int, default=1_000_000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--pairs", type=int, default=10_000_000)
    parser.add_argument("--networkx-basins", type=int, default=100_000, help="0 leaves networkx out")
    parser.add_argument("--scale", type=int, help="only from_codes and accumulate on this many basins")
    options = parser.parse_args()
    if options.scale:
        at_scale(options.scale)
        return

    rng = random.Random(2024)
    codes = np.array(subdivision(rng, options.basins), dtype=np.int32)
    ids = np.array(rng.sample(range(1, 10 * len(codes)), len(codes)), dtype=np.int32)
    n = len(codes)
    print(f"{n:,} basins, {options.rounds} rounds (median); load average {os.getloadavg()[0]:.1f}")

    built = median_seconds({
        "next_down": lambda: drennow.next_down(codes, ids=ids),
        "from_codes": lambda: drennow.Network.from_codes(codes),
    }, options.rounds)
    print(f"Network.from_codes: {built['from_codes'].wall:.3f} s (CPU {built['from_codes'].cpu:.3f} s); next_down "
          f"with identifiers: {built['next_down'].wall:.3f} s (CPU {built['next_down'].cpu:.3f} s); ratio "
          f"{built['from_codes'].wall / built['next_down'].wall:.2f} x, CPU "
          f"{built['from_codes'].cpu / built['next_down'].cpu:.2f} x (goal <= 1.2)")
    before = resident_bytes()
    net = drennow.Network.from_codes(codes)
    grown = resident_bytes() - before
    print(f"memory: memory_bytes {net.memory_bytes / n:.1f} bytes a basin; the process's resident memory grew by "
          f"{grown / n:.1f} bytes a basin with the network (goal <= 40); the int32 codes take 4")

    downstream, moves, rank = np.array(net.downstream), np.array(net.moves), np.array(net.rank)
    values = np.random.default_rng(7).uniform(1.0, 100.0, n)
    sizes = net.accumulate(np.ones(n), "count").astype(np.int64)
    top = int(np.argmax(sizes))
    outlet_rank, outlet_size = rank[top], sizes[top]
    generator = np.random.default_rng(11)
    a = generator.integers(0, n, options.pairs)
    b = np.where(generator.random(options.pairs) < 0.5, generator.integers(0, n, options.pairs), net.outlet[a])
    times = median_seconds({
        "accumulate": lambda: net.accumulate(values),
        "numpy accumulation": lambda: numpy_accumulation(downstream, moves, values),
        "upstream": lambda: net.upstream(top),
        "numpy interval mask": lambda: (rank >= outlet_rank) & (rank < outlet_rank + outlet_size),
        "is_upstream": lambda: net.is_upstream(a, b),
        "numpy interval test": lambda: (rank[a] - rank[b] >= 0) & (rank[a] - rank[b] < sizes[b]),
    }, options.rounds)
    sums = net.accumulate(values)
    assert np.allclose(sums, numpy_accumulation(downstream, moves, values), rtol=1e-9)
    assert np.array_equal(net.upstream(top), (rank >= outlet_rank) & (rank < outlet_rank + outlet_size))
    answers = net.is_upstream(a, b)
    assert np.array_equal(answers, (rank[a] - rank[b] >= 0) & (rank[a] - rank[b] < sizes[b]))
    print(f"accumulate (sum): {ms(times['accumulate'])} (goal <= 20 ms); NumPy level by level with add.at "
          f"({moves.max()} levels): {ms(times['numpy accumulation'])}, "
          f"{times['numpy accumulation'].wall / times['accumulate'].wall:.1f} x slower")
    print(f"upstream of the basin with the largest upstream set ({outlet_size:,} basins): {ms(times['upstream'])} "
          f"(goal <= 20 ms); the NumPy interval mask on the ranks: {ms(times['numpy interval mask'])}")
    print(f"is_upstream on {options.pairs:,} pairs ({answers.mean():.0%} true): {ms(times['is_upstream'])} "
          f"(goal <= 200 ms); the NumPy interval test on the ranks: {ms(times['numpy interval test'])}")

    if options.networkx_basins <= 0:
        return
    try:
        import networkx  # noqa: F401
    except ImportError:
        print("networkx is not installed: its comparison is left out")
        return
    small_codes = np.array(subdivision(random.Random(99), options.networkx_basins), dtype=np.int32)
    small = drennow.Network.from_codes(small_codes)
    small_values = np.random.default_rng(3).uniform(1.0, 100.0, len(small))
    expected = small.accumulate(small_values)
    start = time.perf_counter()
    small.accumulate(small_values)
    ours_small = time.perf_counter() - start
    nx_sums, nx_seconds = networkx_sums(small.downstream, small_values)
    assert np.allclose(nx_sums, expected, rtol=1e-9)
    visits_small = small.accumulate(np.ones(len(small)), "count").sum()
    by_work = nx_seconds * sizes.sum() / visits_small
    linear = nx_seconds * n / len(small)
    print(f"networkx ancestors() summed per basin on {len(small):,} basins: {nx_seconds:.1f} s (its sums equal "
          f"accumulate's; accumulate there: {1000 * ours_small:.1f} ms); extrapolated to {n:,} basins: "
          f"{by_work:.0f} s by the upstream sets' total size ({sizes.sum():,} against {int(visits_small):,}), "
          f"{linear:.0f} s linearly; {by_work / times['accumulate'].wall:,.0f} x accumulate")


if __name__ == "__main__":
    main()
