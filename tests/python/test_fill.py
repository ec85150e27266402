"""fill() gives a frame the NextDownID column a run writes into its layer."""

import geopandas
import numpy as np
import pandas
import pytest

import drennow
from conftest import SAMPLE, copy_to, read_column, run_command_line


@pytest.mark.parametrize("populate,trailing_zeros", [("pfaf", True), ("id", False)])
def test_a_geodataframe_gets_the_values_the_command_line_writes(tmp_path, populate, trailing_zeros):
    basins = geopandas.read_file(SAMPLE)
    filled = drennow.fill(basins, "PfafstetterID", id_field="HydroID" if populate == "id" else None,
                          trailing_zeros=trailing_zeros)

    copy = copy_to(tmp_path)
    status, _, err = run_command_line("--populate", populate, "--trailing-zeros", "yes" if trailing_zeros else "no",
                                      copy)
    assert status == drennow.FINISHED, err
    assert filled["NextDownID"].tolist() == read_column(copy, "NextDownID")
    assert isinstance(filled, geopandas.GeoDataFrame) and filled.crs == basins.crs
    # A copy: the frame given keeps its columns.
    assert "NextDownID" not in basins.columns
    assert filled.drop(columns="NextDownID").equals(basins)


def test_missing_values_of_every_kind_are_null_codes():
    frame = pandas.DataFrame({
        "nullable": pandas.array([1234, None, 1233], dtype="Int64"),
        "floats": [1234.0, np.nan, 1233.0],
        "objects": [1234, None, "1233"],
        "ids": pandas.array([7, 8, 9], dtype="Int64"),
    })
    for column in ("nullable", "floats", "objects"):
        filled = drennow.fill(frame, column, id_field="ids")
        assert filled["NextDownID"].tolist() == [9, -6, -5], column


def test_options_reach_next_down_and_mistakes_are_refused():
    frame = pandas.DataFrame({"code": [1234567891234, 1234567891233]})
    assert drennow.fill(frame, "code", int64=True)["NextDownID"][0] == 1234567891233
    with pytest.raises(drennow.ConversionError):
        drennow.fill(frame, "code")
    with pytest.raises(TypeError, match="id_field"):
        drennow.fill(frame, "code", ids=[1, 2])
    with pytest.raises(KeyError):
        drennow.fill(frame, "no such column")
