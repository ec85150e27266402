"""drennow.Network against references computed by definition: chains walked one by one with plain dicts,
upstream sets as sets, accumulations summed over them; network_fields against drennow network."""

import math
import os
import signal
import subprocess
import threading
import warnings

import geopandas
import numpy as np
import pandas
import pytest
from shapely.geometry import box

import drennow
from conftest import COMMAND_LINE, RHINE_CSV, random_codes


# References, by definition.

def first_positions(keys):
    """Each key's first position; None is no key."""
    first = {}
    for position, key in enumerate(keys):
        if key is not None:
            first.setdefault(key, position)
    return first


def downstream_from_codes(codes, **options):
    """Where each basin drains: the first basin of its next-down code as next_down gives it."""
    answers = drennow.next_down(codes, **options).tolist()
    first = first_positions([None if c is None or (isinstance(c, float) and math.isnan(c)) else int(c)
                             for c in codes])
    return [first.get(answer, -1) if answer > 0 else -1 for answer in answers]


def downstream_from_topology(ids, next_down):
    first = first_positions(ids)
    return [-1 if nd in (None, 0) else first.get(nd, -1) for nd in next_down]


def chain(downstream, basin):
    """The basins from this one down, and whether the walk came back to one (a cycle)."""
    walked, seen = [basin], {basin}
    while downstream[walked[-1]] != -1:
        nxt = downstream[walked[-1]]
        if nxt in seen:
            return walked, True
        walked.append(nxt)
        seen.add(nxt)
    return walked, False


class Reference:
    """Outlets, moves and upstream sets of a downstream list, walked one basin at a time."""

    def __init__(self, downstream):
        self.downstream = downstream
        n = len(downstream)
        self.outlet, self.moves, self.upstream = [-1] * n, [-1] * n, [{b} for b in range(n)]
        self.on_cycles = set()
        for basin in range(n):
            walked, cycle = chain(downstream, basin)
            if cycle:
                self.on_cycles.add(basin)
                continue
            self.outlet[basin], self.moves[basin] = walked[-1], len(walked) - 1
            for below in walked:
                self.upstream[below].add(basin)

    def accumulated(self, values, how, weights=None):
        results = []
        for basin, members in enumerate(self.upstream):
            if basin in self.on_cycles:
                results.append(math.nan)
                continue
            present = [m for m in members if values[m] is not None and not math.isnan(values[m])]
            if how == "weighted_mean":
                both = [m for m in present if weights[m] is not None and not math.isnan(weights[m])]
                total = sum(weights[m] for m in both)
                results.append(sum(values[m] * weights[m] for m in both) / total if total else math.nan)
                continue
            if how == "count":
                results.append(float(len(present)))
            elif not present:
                results.append(math.nan)
            else:
                chosen = [values[m] for m in present]
                results.append({"sum": sum, "min": min, "max": max, "mean": lambda v: sum(v) / len(v)}[how](chosen))
        return results


def assert_agrees_with_reference(net, expected_downstream):
    ref = Reference(expected_downstream)
    assert len(net) == len(expected_downstream)
    assert net.downstream.tolist() == expected_downstream
    assert net.outlet.tolist() == ref.outlet
    assert net.moves.tolist() == ref.moves
    assert net.cycles.count == len(ref.on_cycles)
    assert list(net.cycles.first) == sorted(ref.on_cycles)[:5]
    rank = net.rank.tolist()
    ranked = [b for b in range(len(rank)) if b not in ref.on_cycles]
    assert sorted(rank[b] for b in ranked) == list(range(len(ranked)))
    assert all(rank[b] == -1 for b in ref.on_cycles)
    for basin in ranked:
        # Every basin after the one it drains into; its upstream set is one interval of ranks.
        if expected_downstream[basin] != -1:
            assert rank[basin] > rank[expected_downstream[basin]]
        members = ref.upstream[basin]
        assert sorted(rank[m] for m in members) == list(range(rank[basin], rank[basin] + len(members)))
    return ref


def random_values(rng, count):
    return [None if rng.random() < 0.1 else (math.nan if rng.random() < 0.05 else rng.uniform(-50, 100))
            for _ in range(count)]


def quiet(job):
    """The job's result, its NetworkWarnings kept apart."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", drennow.NetworkWarning)
        result = job()
    return result, [w for w in caught if issubclass(w.category, drennow.NetworkWarning)]


# Networks of codes.

@pytest.mark.parametrize("zeros,trailing_zeros", [("closed", False), ("closed", True), ("unsubdivided", False)])
@pytest.mark.parametrize("int64", [False, True])
def test_random_code_sets_give_the_networks_their_next_down_codes_make(rng, zeros, trailing_zeros, int64):
    codes = random_codes(rng, 1500, head=rng.randint(10**4, 10**5) if int64 else 0) + [-1234, 0]
    options = dict(zeros=zeros, trailing_zeros=trailing_zeros, int64=int64)
    expected = downstream_from_codes(codes, **options)
    net = drennow.Network.from_codes(codes, **options)
    ref = assert_agrees_with_reference(net, expected)
    assert net.unconvertible == 0 and net.first_unconvertible is None and net.repeated_ids == 0
    # The set holds chains of several moves, duplicates and ended chains.
    assert max(ref.moves) >= 3 and expected.count(-1) > 10

    values = random_values(rng, len(codes))
    for how in ("sum", "mean", "min", "max", "count"):
        got = net.accumulate(values, how=how)
        assert got.dtype == np.float64
        np.testing.assert_allclose(got, ref.accumulated(values, how), rtol=1e-9, atol=1e-9, equal_nan=True)
    weights = [None if v is None else abs(v) for v in random_values(rng, len(codes))]
    np.testing.assert_allclose(net.accumulate(values, how="weighted_mean", weights=weights),
                               ref.accumulated(values, "weighted_mean", weights), rtol=1e-9, equal_nan=True)

    # The same codes as a float array with NaN, and as a masked array.
    as_floats = np.array([math.nan if c is None else c for c in codes], dtype=np.float64)
    assert drennow.Network.from_codes(as_floats, **options).downstream.tolist() == expected
    masked = np.ma.masked_array([0 if c is None else c for c in codes], mask=[c is None for c in codes])
    assert drennow.Network.from_codes(masked, **options).downstream.tolist() == expected


def test_queries_answer_what_the_upstream_sets_and_chains_say(rng):
    codes = random_codes(rng, 2000)
    net = drennow.Network.from_codes(codes)
    ref = Reference(downstream_from_codes(codes))
    n = len(codes)
    for _ in range(20):
        chosen = rng.sample(range(n), rng.randint(1, 4))
        expected_up = set().union(*(ref.upstream[c] for c in chosen))
        expected_down = set().union(*(chain(ref.downstream, c)[0] for c in chosen))
        assert set(np.flatnonzero(net.upstream(chosen))) == expected_up
        assert set(np.flatnonzero(net.downstream_of(np.array(chosen, dtype=np.uint32)))) == expected_down
    a = np.array([rng.randrange(n) for _ in range(3000)])
    b = np.array([rng.randrange(n) if rng.random() < 0.5 else ref.outlet[a[k]] for k in range(3000)])
    expected = [int(a[k]) in ref.upstream[b[k]] for k in range(3000)]
    assert net.is_upstream(a, b).tolist() == expected
    # Broadcast: every basin against one, and a single pair.
    outlet = ref.outlet[0]
    assert np.flatnonzero(net.is_upstream(np.arange(n), outlet)).tolist() == sorted(ref.upstream[outlet])
    assert net.is_upstream(0, outlet) is np.True_
    assert net.is_upstream(np.arange(6).reshape(2, 3), [0, 1, 2]).shape == (2, 3)


def test_codes_that_do_not_convert_are_taken_as_null_counted_and_warned_of():
    codes = [1234, 2**40, 1233, "abc", 1211]
    net, caught = quiet(lambda: drennow.Network.from_codes(codes))
    assert (net.unconvertible, net.first_unconvertible) == (2, 1)
    assert net.downstream.tolist() == downstream_from_codes([1234, None, 1233, None, 1211])
    assert len(caught) == 1 and "taken as null: 2 (the first at position 1)" in str(caught[0].message)
    # At 64 bits the large code converts.
    wide, _ = quiet(lambda: drennow.Network.from_codes(codes, int64=True))
    assert (wide.unconvertible, wide.first_unconvertible) == (1, 3)


def test_pandas_columns_of_every_kind_give_the_same_network():
    frame = pandas.DataFrame({
        "nullable": pandas.array([1234, None, 1233, 1211], dtype="Int64"),
        "floats": [1234.0, np.nan, 1233.0, 1211.0],
        "objects": [1234, None, "1233", 1211],
    })
    expected = downstream_from_codes([1234, None, 1233, 1211])
    for column in frame.columns:
        assert drennow.Network.from_codes(frame[column]).downstream.tolist() == expected, column
    net = drennow.Network.from_codes(frame["floats"])
    values = pandas.Series([1.0, pandas.NA, 2.0, 4.0], dtype="Float64")
    # 1234 drains into 1233, 1233 into 1211.
    np.testing.assert_array_equal(net.accumulate(values), [1.0, math.nan, 3.0, 7.0])


# Networks of topologies.

def random_topology(rng, count):
    """Identifiers (some repeated, some null) and next-down values: mostly a forest, with cycles, 0, null and
    identifiers of no basin."""
    ids = [rng.randint(1, 10**12) for _ in range(count)]
    for k in rng.sample(range(count), count // 30):
        ids[k] = ids[rng.randrange(count)]
    for k in rng.sample(range(count), count // 50):
        ids[k] = None
    next_down = []
    for k in range(count):
        draw = rng.random()
        if draw < 0.7 and k > 0:
            next_down.append(ids[rng.randrange(max(0, k - 30), k)])  # down a tree
        elif draw < 0.78:
            next_down.append(ids[rng.randrange(count)])  # anywhere: cycles
        elif draw < 0.85:
            next_down.append(rng.randint(10**12 + 1, 10**13))  # no basin's
        else:
            next_down.append(rng.choice([0, None]))
    order = list(range(count))
    rng.shuffle(order)
    return [ids[k] for k in order], [next_down[k] for k in order]


@pytest.mark.parametrize("count", [1, 40, 3000])
def test_random_topologies_with_cycles_and_unknown_ids(rng, count):
    ids, next_down = random_topology(rng, count)
    expected = downstream_from_topology(ids, next_down)
    net, caught = quiet(lambda: drennow.Network.from_next_down(ids, next_down))
    ref = assert_agrees_with_reference(net, expected)
    present = [i for i in ids if i is not None]
    assert net.repeated_ids == len(present) - len(set(present))
    assert bool(caught) == bool(net.repeated_ids or net.cycles.count)
    if count == 3000:
        assert net.cycles.count > 0 and max(ref.moves) > 3
    values = random_values(rng, count)
    for how in ("sum", "max", "count"):
        np.testing.assert_allclose(net.accumulate(np.array(values, dtype=float), how),
                                   ref.accumulated(values, how), rtol=1e-9, equal_nan=True)
    # A basin on or upstream of a cycle is upstream of itself only, and of no other basin.
    for basin in sorted(ref.on_cycles)[:10]:
        assert np.flatnonzero(net.upstream(basin)).tolist() == [basin]
        others = np.array([b for b in range(count) if b != basin])
        assert net.is_upstream(basin, basin) and not net.is_upstream(basin, others).any()
        assert not net.is_upstream(others, basin).any()


def test_a_self_loop_and_a_two_basin_cycle_are_reported_and_the_rest_finishes():
    ids, next_down = [1, 2, 3, 4, 5, 6], [1, 3, 2, 2, 0, 5]
    net, caught = quiet(lambda: drennow.Network.from_next_down(ids, next_down))
    assert net.cycles == drennow.Cycles(4, (0, 1, 2, 3))
    assert net.outlet.tolist() == [-1, -1, -1, -1, 4, 4]
    assert np.isnan(net.accumulate([1] * 6)[:4]).all() and net.accumulate([1] * 6)[4] == 2
    assert net.accumulate([1] * 6, "count").tolist()[4:] == [2.0, 1.0]
    assert "on or upstream of a cycle: 4 (the first at positions 0, 1, 2, 3)" in str(caught[-1].message)


# Bad input.

def test_bad_input_raises_an_exception_naming_the_problem():
    net = drennow.Network.from_codes([1234, 1233, 1211])
    with pytest.raises(ValueError, match="as many next-down values as identifiers are needed: 2 identifiers, 1"):
        drennow.Network.from_next_down([1, 2], [0])
    with pytest.raises(drennow.ConversionError, match=r"next_down\[1\]: Error 13") as raised:
        drennow.Network.from_next_down([1, 2], [0, "x"])
    assert (raised.value.argument, raised.value.position, raised.value.number) == ("next_down", 1, 13)
    with pytest.raises(drennow.ConversionError, match=r"ids\[0\]: Error 6"):
        drennow.Network.from_next_down([2**70, 2], [0, 0])
    with pytest.raises(ValueError, match="as many values as basins are needed: 3 basins, 2 values"):
        net.accumulate([1, 2])
    with pytest.raises(ValueError, match="as many weights as values are needed"):
        net.accumulate([1, 2, 3], "weighted_mean", weights=[1])
    with pytest.raises(drennow.ConversionError, match=r"values\[2\]: Error 13") as raised:
        net.accumulate([1, "2.5", "lots"])
    assert raised.value.argument == "values"
    with pytest.raises(ValueError, match="how takes sum|mean|min|max|count|weighted_mean, not 'total'"):
        net.accumulate([1, 2, 3], how="total")
    with pytest.raises(ValueError, match="weights are for how='weighted_mean' only"):
        net.accumulate([1, 2, 3], weights=[1, 1, 1])
    with pytest.raises(ValueError, match="needs weights"):
        net.accumulate([1, 2, 3], "weighted_mean")
    with pytest.raises(ValueError, match="one-dimensional"):
        net.accumulate(np.ones((3, 1)))
    with pytest.raises(TypeError, match=r"codes\[1\]: object"):
        drennow.Network.from_codes([1234, object()])
    with pytest.raises(TypeError, match="Network.from_codes"):
        drennow.Network(None)
    with pytest.raises(ValueError, match="zeros"):
        drennow.Network.from_codes([1234], zeros="open")


@pytest.mark.parametrize("query", ["upstream", "downstream_of"])
def test_positions_that_are_no_basins_or_not_whole_numbers_are_refused(query):
    net = drennow.Network.from_codes([1234, 1233, 1211])
    ask = getattr(net, query)
    for wrong in ([3], [0, -1], np.array([2**64 - 1], dtype=np.uint64)):
        with pytest.raises(IndexError, match="is no basin's"):
            ask(wrong)
    for wrong in ([0.0], [True, False, True], ["1"]):
        with pytest.raises(TypeError, match="positions"):
            ask(wrong)
    assert not ask([]).any() and ask([]).shape == (3,)
    with pytest.raises(IndexError, match=r"pair 1 \(a 0, b 3\): position 3 is no basin's \(the network has 3"):
        net.is_upstream([0, 0], [1, 3])
    with pytest.raises(ValueError, match="do not broadcast"):
        net.is_upstream([0, 1], [0, 1, 2])


def test_per_basin_arrays_are_read_only():
    net = drennow.Network.from_codes([1234, 1233, 1211])
    for name in ("downstream", "outlet", "moves", "rank"):
        array = getattr(net, name)
        assert array.dtype == np.int64
        with pytest.raises(ValueError, match="read-only"):
            array[0] = 7
    # Results of queries belong to the caller.
    sums = net.accumulate([1, 2, 3])
    sums[0] = 9.0
    assert net.accumulate([1, 2, 3])[0] == 1.0


def test_sigint_while_a_large_network_is_built_raises_keyboard_interrupt():
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    codes = np.random.default_rng(5).integers(10**8, 10**9, 10_000_000).astype(np.int32)
    timer = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
    try:
        timer.start()
        with pytest.raises(KeyboardInterrupt):
            drennow.Network.from_codes(codes)
    finally:
        timer.join()
        signal.signal(signal.SIGINT, previous)
    assert len(drennow.Network.from_codes(codes[:10])) == 10


# The GeoPandas helper.

def basins_frame(rng, count):
    codes = [c for c in random_codes(rng, count) if c is not None and c > 0]
    codes = list(dict.fromkeys(codes))
    ids = rng.sample(range(10**6, 10**7), len(codes))
    area = [round(rng.uniform(1, 100), 3) for _ in codes]
    temperature = [round(rng.uniform(-5, 25), 2) for _ in codes]
    geometry = [box(k % 100, k // 100, k % 100 + 1, k // 100 + 1) for k in range(len(codes))]
    return geopandas.GeoDataFrame({"PfafstetterID": codes, "HydroID": ids, "SUB_AREA": area, "TEMP": temperature},
                                  geometry=geometry, crs="EPSG:4326")


OUTPUTS = dict(sum={"SUB_AREA": "UP_AREA"}, max={"TEMP": "TEMP_MAX"}, weighted_mean={("TEMP", "SUB_AREA"): "TEMP_UP"},
               count="N_UP", outlet="MAIN", moves="MOVES", rank="SORT")
OUTPUTS_DESTS = ("UP_AREA", "TEMP_MAX", "TEMP_UP", "N_UP", "MAIN", "MOVES", "SORT")


def test_network_fields_round_trip_through_a_geopackage_and_agree_with_drennow_network(tmp_path, rng):
    written = tmp_path / "basins.gpkg"
    basins_frame(rng, 1500).to_file(written, layer="Watershed", driver="GPKG")
    basins = geopandas.read_file(written, layer="Watershed")

    filled = drennow.network_fields(basins, pfaf_field="PfafstetterID", id_field="HydroID", **OUTPUTS)
    assert "UP_AREA" not in basins.columns and isinstance(filled, geopandas.GeoDataFrame)
    assert filled.crs == basins.crs and filled.drop(columns=[*OUTPUTS_DESTS]).equals(basins)
    out = tmp_path / "filled.gpkg"
    filled.to_file(out, layer="Watershed", driver="GPKG")
    again = geopandas.read_file(out, layer="Watershed")

    ref = Reference(downstream_from_codes(basins["PfafstetterID"].tolist()))
    area, temperature = basins["SUB_AREA"].tolist(), basins["TEMP"].tolist()
    np.testing.assert_allclose(again["UP_AREA"], ref.accumulated(area, "sum"), rtol=1e-12)
    np.testing.assert_allclose(again["TEMP_MAX"], ref.accumulated(temperature, "max"))
    np.testing.assert_allclose(again["TEMP_UP"], ref.accumulated(temperature, "weighted_mean", area), rtol=1e-12)
    assert again["N_UP"].tolist() == [len(s) for s in ref.upstream]
    assert again["MAIN"].tolist() == [basins["HydroID"][o] for o in ref.outlet]
    assert again["MOVES"].tolist() == ref.moves
    assert again["SORT"].tolist() == filled["SORT"].tolist()

    # drennow network writes the same values into the file read first.
    arguments = ["--pfaf-field", "PfafstetterID", "--id-field", "HydroID", "--sum", "SUB_AREA=UP_AREA",
                 "--max", "TEMP=TEMP_MAX", "--weighted-mean", "TEMP*SUB_AREA=TEMP_UP", "--count", "N_UP",
                 "--outlet", "MAIN", "--moves", "MOVES", "--rank", "SORT"]
    done = subprocess.run([str(COMMAND_LINE), "network", *arguments, str(written)], capture_output=True, text=True)
    assert done.returncode == drennow.FINISHED, done.stderr
    by_command = geopandas.read_file(written, layer="Watershed")
    for dest in OUTPUTS_DESTS:
        np.testing.assert_allclose(by_command[dest].astype(float), again[dest].astype(float), rtol=1e-12,
                                   err_msg=dest)


def test_network_fields_of_a_topology_with_a_cycle_give_nullable_integers():
    # Rows by position, whatever their labels.
    frame = pandas.DataFrame({"ID": [1, 2, 3, 4], "DOWN": [0, 1, 4, 3], "AREA": [1.0, 2.0, 3.0, "4"]},
                             index=[9, 7, 5, 3])
    filled, caught = quiet(lambda: drennow.network_fields(frame, next_down_field="DOWN", id_field="ID",
                                                          sum={"AREA": "UP"}, outlet="MAIN", rank="R", count="N"))
    assert caught
    assert filled["UP"].tolist()[:2] == [3.0, 2.0] and np.isnan(filled["UP"][2:]).all()
    assert filled["MAIN"].tolist()[:2] == [1, 1] and filled["MAIN"][2:].isna().all()
    assert str(filled["MAIN"].dtype) == "Int64" and str(filled["N"].dtype) == "Int64"
    assert filled["N"].tolist()[:2] == [2, 1] and filled["R"].tolist()[:2] == [0, 1]
    assert list(frame.columns) == ["ID", "DOWN", "AREA"] and filled.index.tolist() == [9, 7, 5, 3]


def test_network_fields_refuses_mistakes_before_computing_anything():
    frame = pandas.DataFrame({"PFAF": [1234, 1233], "ID": [1, 2], "AREA": [1.0, "much"], "DOWN": [0, 1]})
    with pytest.raises(KeyError, match="no column 'SUB_AREA'; the columns are PFAF, ID, AREA, DOWN"):
        drennow.network_fields(frame, pfaf_field="PFAF", sum={"SUB_AREA": "UP"})
    with pytest.raises(ValueError, match="written twice"):
        drennow.network_fields(frame, pfaf_field="PFAF", count="N", rank="N")
    with pytest.raises(ValueError, match="'AREA' is read by this call"):
        drennow.network_fields(frame, pfaf_field="PFAF", sum={"ID": "AREA"}, mean={"AREA": "M"})
    with pytest.raises(TypeError, match=r"sum takes \{SOURCE: DEST\}"):
        drennow.network_fields(frame, pfaf_field="PFAF", sum=["AREA", "UP"])
    with pytest.raises(TypeError, match="weighted_mean takes .* not the key 'AREA'"):
        drennow.network_fields(frame, pfaf_field="PFAF", weighted_mean={"AREA": "W"})
    with pytest.raises(ValueError, match="writes no column"):
        drennow.network_fields(frame, pfaf_field="PFAF")
    with pytest.raises(ValueError, match="one of them"):
        drennow.network_fields(frame, pfaf_field="PFAF", next_down_field="DOWN", id_field="ID", count="N")
    with pytest.raises(ValueError, match="needs id_field"):
        drennow.network_fields(frame, next_down_field="DOWN", count="N")
    with pytest.raises(ValueError, match="zeros: options of pfaf_field only"):
        drennow.network_fields(frame, next_down_field="DOWN", id_field="ID", zeros="closed", count="N")
    with pytest.raises(drennow.ConversionError, match=r"column 'AREA' \(value 'much' in row 1\)") as raised:
        drennow.network_fields(frame, pfaf_field="PFAF", sum={"AREA": "UP"})
    assert raised.value.argument == "AREA" and raised.value.position == 1
    with pytest.raises(drennow.ConversionError, match="column 'DOWN'"):
        drennow.network_fields(frame.assign(DOWN=["0", "x"]), next_down_field="DOWN", id_field="ID", count="N")


# Real data.

@pytest.mark.skipif(not RHINE_CSV.exists(), reason="the HydroBASINS Rhine extract is not there")
def test_rhine_upstream_area_from_next_down_reproduces_up_area():
    units = pandas.read_csv(RHINE_CSV, usecols=["HYBAS_ID", "NEXT_DOWN", "SUB_AREA", "UP_AREA"])
    net = drennow.Network.from_next_down(units["HYBAS_ID"], units["NEXT_DOWN"])
    upstream_area = net.accumulate(units["SUB_AREA"])
    within = np.abs(upstream_area - units["UP_AREA"]) <= 0.01 * units["UP_AREA"]
    assert (len(units), int(within.sum())) == (1246, 1245)
    assert net.cycles.count == 0 and net.repeated_ids == 0


# Level n: the units grouped by PFAF_n; a group's SUB_AREA is the sum of its units', its UP_AREA that of its
# outlet unit, the one with the largest. Agreeing within 1 %, from the codes alone, as the data stands.
RHINE_CODE_AGREEMENT = {1: (1, 1), 2: (1, 1), 3: (1, 1), 4: (1, 1), 5: (9, 9), 6: (9, 9), 7: (72, 73),
                        9: (644, 649), 12: (1091, 1246)}


@pytest.mark.skipif(not RHINE_CSV.exists(), reason="the HydroBASINS Rhine extract is not there")
@pytest.mark.parametrize("level", sorted(RHINE_CODE_AGREEMENT))
def test_rhine_upstream_area_from_the_codes_of_each_level(level):
    field = f"PFAF_{level}"
    units = pandas.read_csv(RHINE_CSV, usecols=[field, "SUB_AREA", "UP_AREA"])
    basins = units.groupby(field, sort=False).agg(SUB_AREA=("SUB_AREA", "sum"), UP_AREA=("UP_AREA", "max"))
    net = drennow.Network.from_codes(basins.index.to_series(), zeros="unsubdivided", int64=level > 9)
    upstream_area = net.accumulate(basins["SUB_AREA"])
    within = np.abs(upstream_area - basins["UP_AREA"]) <= 0.01 * basins["UP_AREA"]
    assert (int(within.sum()), len(basins)) == RHINE_CODE_AGREEMENT[level]
