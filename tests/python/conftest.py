"""Shared helpers: layers written with GDAL, the drennow command line run on them."""

import os
import random
import shutil
import subprocess
from pathlib import Path

import pytest
from osgeo import ogr

ogr.UseExceptions()

SOURCE_DIR = Path(__file__).resolve().parents[2]
SAMPLE = SOURCE_DIR / "data" / "sample.gpkg"
# Real HydroBASINS units, kept beside the project and never copied in.
RHINE_CSV = SOURCE_DIR.parent / "shared" / "data" / "hydrobasins-rhine" / "rhine_lev00.csv"
COMMAND_LINE = Path(os.environ.get("DRENNOW_CLI", SOURCE_DIR / "build" / "app" / "drennow" / "drennow"))


def random_codes(rng, count, head=0):
    """Codes of a random subdivision (zeros among the digits as in both readings),
    with stray codes, duplicates, nulls and a 0; in random order."""
    units = [str(rng.randint(1, 9))]
    leaves = []
    while units and len(leaves) < count:
        unit = units.pop(rng.randrange(len(units)))
        if len(unit) < 3 or (len(unit) < 8 and rng.random() < 0.6):
            digits = range(0, 10) if rng.random() < 0.3 else range(1, 10)
            units.extend(unit + str(d) for d in digits)
        else:
            leaves.append(unit)
    leaves.extend(units)
    codes = [int(c) + head * 10 ** len(c) for c in leaves[:count]]
    codes += [rng.randint(1, 10**7) for _ in range(count // 20)]
    codes += rng.sample(codes, count // 20)
    codes += [None] * 3 + [0]
    rng.shuffle(codes)
    return codes


def write_layer(path, columns, driver="GPKG", layer="Watershed"):
    """A polygon layer of one small square per row; columns: name -> (OGR type, values)."""
    dataset = ogr.GetDriverByName(driver).CreateDataSource(str(path))
    target = dataset.CreateLayer(layer, geom_type=ogr.wkbPolygon)
    for name, (kind, _) in columns.items():
        target.CreateField(ogr.FieldDefn(name, kind))
    rows = len(next(iter(columns.values()))[1])
    target.StartTransaction()
    for row in range(rows):
        feature = ogr.Feature(target.GetLayerDefn())
        x, y = row % 1000, row // 1000
        feature.SetGeometry(ogr.CreateGeometryFromWkt(f"POLYGON(({x} {y},{x+1} {y},{x+1} {y+1},{x} {y+1},{x} {y}))"))
        for name, (_, values) in columns.items():
            if values[row] is None:
                feature.SetFieldNull(name)
            else:
                feature.SetField(name, values[row])
        target.CreateFeature(feature)
    target.CommitTransaction()
    dataset = None
    return path


def read_column(path, name, layer="Watershed"):
    """A column's values in feature id order."""
    dataset = ogr.Open(str(path))
    rows = sorted((f.GetFID(), f.GetField(name)) for f in dataset.GetLayerByName(layer))
    return [value for _, value in rows]


def failure_lines(folder):
    """The failure log of a folder as (object id, code, description), empty when there is none."""
    log = Path(folder) / "Drennow.log"
    if not log.exists():
        return []
    lines = log.read_bytes().decode().split("\r\n")[2:-1]
    return [(int(oid), int(code), text) for oid, code, text in (line.split("\t") for line in lines)]


def run_command_line(*arguments):
    """drennow --batch with these arguments: its exit status, stdout and stderr."""
    done = subprocess.run([str(COMMAND_LINE), "--batch", *map(str, arguments)], capture_output=True, text=True)
    return done.returncode, done.stdout, done.stderr


def copy_to(folder, source=SAMPLE):
    """A copy of a dataset in a folder of its own."""
    folder.mkdir(parents=True, exist_ok=True)
    return Path(shutil.copy(source, folder))


@pytest.fixture
def rng(request):
    return random.Random(request.node.name)


@pytest.fixture(scope="session", autouse=True)
def command_line_built():
    if not COMMAND_LINE.exists():
        pytest.fail(f"the drennow command line is not built: {COMMAND_LINE}")
