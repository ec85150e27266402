"""run() is drennow --batch: the same data, log, status and messages."""

import csv
import hashlib
import inspect
import os
import signal
import subprocess
import sys
import threading
import time

import pytest
from osgeo import gdal, ogr

import drennow
from conftest import (RHINE_CSV, SAMPLE, copy_to, failure_lines, random_codes, read_column, run_command_line,
                      write_layer)

gdal.UseExceptions()


def shapefile_of_sample(folder):
    # Field names of a dBASE table have at most ten letters: the codes go
    # into a field of a name the run looks for.
    folder.mkdir()
    gdal.VectorTranslate(str(folder), str(SAMPLE), format="ESRI Shapefile", layerName="Watershed",
                         SQLStatement="SELECT geom, PfafstetterID AS Level1, HydroID FROM Watershed")
    return folder / "Watershed.shp"


def folder_digest(folder):
    return {p.name: hashlib.sha256(p.read_bytes()).hexdigest() for p in sorted(folder.iterdir())}


@pytest.mark.parametrize("fmt", ["gpkg", "shp"])
@pytest.mark.parametrize(
    "options,arguments",
    [
        ({}, []),
        ({"populate": "id", "trailing_zeros": False}, ["--populate", "id", "--trailing-zeros", "no"]),
        ({"populate": "id", "zeros": "unsubdivided", "int64": True, "fid": [3, 5, 7, 9, 2000]},
         ["--populate", "id", "--zeros", "unsubdivided", "--int64", "--fid", "3,5,7,9,2000"]),
        ({"where": "HydroID > 500", "compare_with": "HydroID"},
         ["--where", "HydroID > 500", "--compare-with", "HydroID"]),
    ],
)
def test_a_run_saves_logs_and_says_what_the_command_line_does(tmp_path, fmt, options, arguments):
    def dataset(name):
        return copy_to(tmp_path / name) if fmt == "gpkg" else shapefile_of_sample(tmp_path / name)

    ours, theirs = dataset("python"), dataset("cli")
    result = drennow.run(ours, **options)
    status, out, err = run_command_line(*arguments, theirs)

    assert result.status == status == drennow.FINISHED
    assert read_column(ours, "NextDownID") == read_column(theirs, "NextDownID")
    assert result.failures == failure_lines(theirs.parent)
    assert len(result.failures) > 0
    assert result.log_path == str(ours.parent / "Drennow.log")
    assert (ours.parent / "Drennow.log").read_bytes() == (theirs.parent / "Drennow.log").read_bytes()
    # The closing message (and the agreement) as printed after the answers.
    printed = out[out.index("Finished with NextDownID"):].strip()
    assert result.message == printed.replace(str(theirs.parent), str(ours.parent))
    if "compare_with" in options:
        assert result.comparison.field == "HydroID"
        assert f"{result.comparison.agreeing} of {result.comparison.compared}" in out
        assert result.comparison.log_path == str(ours.parent / "Drennow-compare.log")
    else:
        assert result.comparison is None


@pytest.mark.parametrize(
    "options,arguments,expected",
    [
        ({"layer": "Rivers"}, ["--layer", "Rivers"], drennow.BAD_COMMAND_LINE),
        ({"level": 12}, ["--level", "12"], drennow.CHECK_FAILED),
        ({"populate": "id", "id_field": "Name"}, ["--populate", "id", "--id-field", "Name"], drennow.BAD_COMMAND_LINE),
        ({"where": "NoSuchColumn = 1"}, ["--where", "NoSuchColumn = 1"], drennow.BAD_COMMAND_LINE),
        ({"log_dir": "missing"}, ["--log-dir", "missing"], drennow.BAD_COMMAND_LINE),
    ],
)
def test_a_run_that_ends_early_says_what_the_command_line_says_and_changes_nothing(
    tmp_path, monkeypatch, options, arguments, expected
):
    ours, theirs = copy_to(tmp_path / "python"), copy_to(tmp_path / "cli")
    before = folder_digest(ours.parent)
    monkeypatch.chdir(tmp_path)
    result = drennow.run(ours, **options)
    status, _, err = run_command_line(*arguments, theirs)
    assert result.status == status == expected
    assert result.message == err.strip() != ""
    assert result.failures == [] and result.log_path is None
    assert folder_digest(ours.parent) == before


def test_arguments_the_command_line_refuses_raise_its_text(tmp_path):
    with pytest.raises(ValueError, match="--where and --fid cannot be used together"):
        drennow.run(SAMPLE, where="fid > 3", fid=[1])
    with pytest.raises(ValueError, match="--populate takes id|pfaf, not hydroid"):
        drennow.run(SAMPLE, populate="hydroid")
    with pytest.raises(ValueError, match="--trailing-zeros cannot be used with --zeros unsubdivided"):
        drennow.run(SAMPLE, zeros="unsubdivided", trailing_zeros=True)


def large_layer(tmp_path, rng):
    # With NextDownID present the run adds no field, which would stay.
    codes = random_codes(rng, 60000)
    return write_layer(tmp_path / "large.gpkg",
                       {"PfafstetterID": (ogr.OFTInteger, codes), "NextDownID": (ogr.OFTInteger, [None] * len(codes))})


def test_progress_is_reported_through_every_step(tmp_path):
    reports = []
    result = drennow.run(copy_to(tmp_path), progress=lambda fraction, message: reports.append((fraction, message)))
    assert result.status == drennow.FINISHED
    assert all(0.0 <= fraction <= 1.0 for fraction, _ in reports)
    messages = [message for _, message in reports]
    assert messages[0] == "Building Pfafstetter array"
    assert messages[-1] == "Finishing Edit Operation (please wait)"


@pytest.mark.parametrize(
    "answer,status,message",
    [
        (KeyboardInterrupt, 130, "drennow: cancelled by SIGINT; no value was saved"),
        (False, 130, "drennow: cancelled; no value was saved"),
    ],
)
def test_a_progress_callback_cancels_and_nothing_is_saved(tmp_path, rng, answer, status, message):
    path = large_layer(tmp_path, rng)
    before = folder_digest(tmp_path)
    calls = []

    def progress(fraction, text):
        calls.append(text)
        if text.startswith("Finding NextDownID"):
            if answer is KeyboardInterrupt:
                raise KeyboardInterrupt
            return answer
        return None

    result = drennow.run(path, progress=progress)
    assert result.status == status == drennow.CANCELLED
    assert result.message == message
    assert folder_digest(tmp_path) == before
    assert read_column(path, "NextDownID") == [None] * len(read_column(path, "PfafstetterID"))


def test_another_exception_of_the_callback_cancels_and_is_raised_again(tmp_path, rng):
    path = large_layer(tmp_path, rng)
    before = folder_digest(tmp_path)

    def progress(fraction, text):
        if fraction > 0.2:
            raise RuntimeError("stop here")

    with pytest.raises(RuntimeError, match="stop here"):
        drennow.run(path, progress=progress)
    assert folder_digest(tmp_path) == before


def test_ctrl_c_while_the_run_works_cancels_it(tmp_path, rng):
    path = large_layer(tmp_path, rng)
    before = folder_digest(tmp_path)
    started = threading.Event()

    def press_ctrl_c():
        started.wait()
        os.kill(os.getpid(), signal.SIGINT)

    # The signal comes while the run works, from another thread, as a
    # terminal's would; the callback only tells that the run has begun.
    presser = threading.Thread(target=press_ctrl_c)
    presser.start()
    result = drennow.run(path, progress=lambda fraction, text: started.set())
    presser.join()
    assert result.status == drennow.CANCELLED
    assert result.message == "drennow: cancelled by SIGINT; no value was saved"
    assert folder_digest(tmp_path) == before


def test_ctrl_c_cancels_a_run_without_callback(tmp_path, rng):
    path = large_layer(tmp_path, rng)
    before = folder_digest(tmp_path)
    main = threading.main_thread().ident
    call = next(n for n, line in enumerate(inspect.getsourcelines(drennow.run)[0]) if "_drennow.run(" in line)
    call += drennow.run.__code__.co_firstlineno

    def press_ctrl_c_once_the_run_works():
        # The main thread stands at the compiled run's call once it has let
        # go of the interpreter there.
        while True:
            frame = sys._current_frames().get(main)
            if frame is not None and frame.f_code is drennow.run.__code__ and frame.f_lineno == call:
                break
            time.sleep(0.001)
        os.kill(os.getpid(), signal.SIGINT)

    presser = threading.Thread(target=press_ctrl_c_once_the_run_works)
    presser.start()
    result = drennow.run(path)
    presser.join()
    assert result.status == drennow.CANCELLED
    assert result.message == "drennow: cancelled by SIGINT; no value was saved"
    assert folder_digest(tmp_path) == before


@pytest.mark.skipif(not RHINE_CSV.exists(), reason="the HydroBASINS Rhine extract is absent")
def test_the_rhine_at_level_twelve_as_the_command_line_runs_it(tmp_path):
    with open(RHINE_CSV, newline="") as units:
        rows = list(csv.DictReader(units))
    columns = {name: (ogr.OFTInteger64, [int(row[name]) for row in rows])
               for name in ("PFAF_12", "HYBAS_ID", "NEXT_DOWN")}
    (tmp_path / "python").mkdir()
    ours = write_layer(tmp_path / "python" / "rhine.gpkg", columns)
    theirs = copy_to(tmp_path / "cli", ours)
    options = dict(pfaf_field="PFAF_12", level=12, populate="id", id_field="HYBAS_ID", zeros="unsubdivided",
                   int64=True, compare_with="NEXT_DOWN")
    result = drennow.run(ours, **options)
    status, out, _ = run_command_line("--pfaf-field", "PFAF_12", "--level", 12, "--populate", "id", "--id-field",
                                      "HYBAS_ID", "--zeros", "unsubdivided", "--int64", "--compare-with",
                                      "NEXT_DOWN", theirs)
    assert result.status == status == drennow.FINISHED
    written = read_column(ours, "NextDownID")
    assert written == read_column(theirs, "NextDownID")
    assert f"Agreement with NEXT_DOWN: {result.comparison.agreeing} of {len(rows)} basins" in out
    # The layer's codes alone give the same values.
    assert drennow.next_down(columns["PFAF_12"][1], ids=columns["HYBAS_ID"][1], zeros="unsubdivided",
                             int64=True).tolist() == written


def run_python(script, *arguments, timeout):
    """A Python script in a process of its own, which a hang cannot take the tests down with."""
    done = subprocess.run([sys.executable, "-c", script, *map(str, arguments)], capture_output=True, text=True,
                          timeout=timeout)
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_a_run_started_from_a_runs_progress_callback_raises_at_once(tmp_path, rng):
    (tmp_path / "data").mkdir()
    path = large_layer(tmp_path / "data", rng)
    other = copy_to(tmp_path / "other", path)
    before = folder_digest(tmp_path / "data"), folder_digest(tmp_path / "other")
    script = """
import sys, drennow
inner = []
def progress(fraction, text):
    # While the outer run holds its dataset's lock.
    if not text.startswith("Finding NextDownID"):
        return
    for dataset in sys.argv[1:]:
        try:
            drennow.run(dataset)
        except RuntimeError as error:
            inner.append(str(error))
    raise RuntimeError("outer")
try:
    drennow.run(sys.argv[1], progress=progress)
except RuntimeError as error:
    print(error)
print(*inner, sep="\\n")
"""
    # Before, the inner run waited forever on the lock of the outer one.
    lines = run_python(script, path, other, timeout=120).splitlines()
    assert lines[0] == "outer"
    assert len(lines) == 3 and all("progress callback" in line for line in lines[1:])
    assert (folder_digest(tmp_path / "data"), folder_digest(tmp_path / "other")) == before


def test_a_large_run_gives_up_on_another_processs_reader_in_the_documented_time(tmp_path, rng):
    codes = random_codes(rng, 200_000)
    path = write_layer(tmp_path / "large.gpkg", {"PfafstetterID": (ogr.OFTInteger, codes),
                                                 "NextDownID": (ogr.OFTInteger, [None] * len(codes))})
    before = folder_digest(tmp_path)
    reader = subprocess.Popen(
        [sys.executable, "-c", "import sqlite3, sys, time\n"
         "connection = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
         "connection.execute('BEGIN')\n"
         "connection.execute('SELECT count(*) FROM Watershed').fetchall()\n"
         "print('reading', flush=True)\n"
         "time.sleep(300)\n", str(path)],
        stdout=subprocess.PIPE, text=True)
    try:
        assert reader.stdout.readline().strip() == "reading"
        # The reader holds on far longer than the documented wait.
        printed = run_python("import sys, drennow\nresult = drennow.run(sys.argv[1])\nprint(result.status)\n"
                             "print(result.message)\n", path, timeout=60)
    finally:
        reader.kill()
        reader.wait()
    status, message = printed.split("\n", 1)
    assert int(status) == drennow.ERROR_REPORTED
    assert "database is locked" in message
    assert folder_digest(tmp_path) == before


def test_a_geopandas_round_trip_is_refused_or_given_the_right_values(tmp_path):
    import geopandas

    original = copy_to(tmp_path / "original")
    assert drennow.run(original).status == drennow.FINISHED
    expected = read_column(original, "NextDownID")

    # GeoPandas writes the codes back as floating-point numbers (a Real field).
    trip = tmp_path / "trip" / "sample.gpkg"
    trip.parent.mkdir()
    geopandas.read_file(SAMPLE).to_file(trip, layer="Watershed", driver="GPKG")
    before = folder_digest(trip.parent)
    guessed = drennow.run(trip)
    assert guessed.status == drennow.BAD_COMMAND_LINE
    assert "PfafstetterID is a real field" in guessed.message
    assert folder_digest(trip.parent) == before

    named = drennow.run(trip, pfaf_field="PfafstetterID")
    assert named.status == drennow.FINISHED
    values = read_column(trip, "NextDownID")
    assert len(values) == len(expected) == 734
    assert [i for i, (ours, theirs) in enumerate(zip(values, expected)) if ours != theirs] == []
