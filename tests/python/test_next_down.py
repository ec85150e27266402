"""next_down gives what the command line writes into a layer of the same codes."""

import math

import numpy as np
import pytest
from osgeo import ogr

import drennow
from conftest import failure_lines, random_codes, read_column, run_command_line, write_layer


def run_on_layer(tmp_path, codes, ids, *, zeros, int64, trailing_zeros, code_type=None):
    """The command line on a layer of these codes: NextDownID by feature, and the log's lines."""
    code_type = code_type or (ogr.OFTInteger64 if int64 else ogr.OFTInteger)
    id_type = ogr.OFTInteger64 if int64 else ogr.OFTInteger
    columns = {"PfafstetterID": (code_type, codes)}
    if ids is not None:
        columns["HydroID"] = (id_type, ids)
    path = write_layer(tmp_path / "basins.gpkg", columns)
    arguments = ["--layer", "Watershed", "--pfaf-field", "PfafstetterID", "--level", 19 if int64 else 9]
    arguments += ["--populate", "id", "--id-field", "HydroID"] if ids is not None else ["--populate", "pfaf"]
    arguments += ["--zeros", zeros] + (["--int64"] if int64 else [])
    if zeros == "closed":
        arguments += ["--trailing-zeros", "yes" if trailing_zeros else "no"]
    status, _, err = run_command_line(*arguments, path)
    assert status == drennow.FINISHED, err
    return read_column(path, "NextDownID"), failure_lines(tmp_path)


@pytest.mark.parametrize("zeros,trailing_zeros", [("closed", False), ("closed", True), ("unsubdivided", False)])
@pytest.mark.parametrize("int64", [False, True])
@pytest.mark.parametrize("with_ids", [False, True])
def test_random_code_sets_get_the_command_lines_values_and_failure_lines(
    tmp_path, rng, zeros, trailing_zeros, int64, with_ids
):
    codes = random_codes(rng, 3000, head=rng.randint(10**4, 10**5) if int64 else 0)
    ids = None
    if with_ids:
        base = 2**33 if int64 else 1000
        ids = [base + i for i in rng.sample(range(10 * len(codes)), len(codes))]
    expected_values, expected_lines = run_on_layer(
        tmp_path, codes, ids, zeros=zeros, int64=int64, trailing_zeros=trailing_zeros
    )

    values, failures = drennow.next_down(
        codes, ids=ids, zeros=zeros, int64=int64, trailing_zeros=trailing_zeros, return_failures=True
    )
    assert values.dtype == np.int64
    assert values.tolist() == expected_values
    # Feature ids count from 1 in the order the features were written.
    assert [(i + 1, code, text) for i, code, text in failures] == expected_lines
    # Every failure, and every downstream answer, appears.
    assert {code for _, code, _ in failures} >= {-6, -8, -9}
    assert (values > 0).sum() > len(codes) // 4

    # The same codes as an array: nulls as NaN in floating point, else integers.
    as_floats = np.array([math.nan if c is None else c for c in codes], dtype=np.float64)
    assert drennow.next_down(as_floats, ids=None if ids is None else np.array(ids), zeros=zeros, int64=int64,
                             trailing_zeros=trailing_zeros).tolist() == expected_values
    present = [i for i, c in enumerate(codes) if c is not None]
    as_integers = np.array([codes[i] for i in present], dtype=np.int64 if int64 else np.int32)
    kept = drennow.next_down(as_integers, zeros=zeros, int64=int64, trailing_zeros=trailing_zeros)
    if ids is None:
        # Without the nulls the layer holds the same candidates.
        assert kept.tolist() == [expected_values[i] for i in present]


def test_fractional_and_text_codes_convert_as_the_run_converts_a_value():
    # Halves round to even; numeric text converts. (The run offers integer
    # fields only, where these cannot occur.)
    codes = [1234.5, 1233.5, 1232.4, 1211.0, 1212.6, None]
    expected = drennow.next_down([1234, 1234, 1232, 1211, 1213, None]).tolist()
    assert drennow.next_down(codes).tolist() == expected
    assert drennow.next_down(["1234.5", "1233.5", " 1232.4 ", "1211", "1212.6", None]).tolist() == expected
    assert drennow.next_down(np.array(codes, dtype=object)).tolist() == expected
    assert drennow.next_down(np.array(codes, dtype=np.float32)).tolist() == expected


def test_describe_gives_the_logs_texts(tmp_path, rng):
    codes = random_codes(rng, 500) + [-15]
    _, lines = run_on_layer(tmp_path, codes, None, zeros="closed", int64=False, trailing_zeros=False)
    seen = {code: text for _, code, text in lines}
    assert set(seen) == {-3, -5, -6, -8, -9}
    for code, text in seen.items():
        assert drennow.describe(code) == text


def test_a_downstream_basin_without_identifier_is_a_failure_of_its_own():
    # "01233" is filed under its text, which no search answer (1233) matches.
    values, failures = drennow.next_down([1234, "01233"], ids=[7, 8], return_failures=True)
    assert values.tolist() == [-5, -5]
    assert failures == [(0, -5, "Required ID missing in downstream feature"), (1, -5, drennow.describe(-5))]


@pytest.mark.parametrize(
    "codes,ids,int64,number,element",
    [
        (["1234", "abc"], None, False, 13, ("codes", 1)),
        ([1234, 2**40, "abc"], None, False, 6, ("codes", 1)),
        (np.array([1234, 2**63 + 5], dtype=np.uint64), None, True, 6, ("codes", 1)),
        ([1234, 1233], [1, None], False, 94, ("ids", 1)),
        # 1236 drains into the first basin of 1233, whose identifier is written.
        ([1234, 1233, 1236, 1233], [1, 2**40, 3, 4], False, 6, ("ids", 1)),
    ],
)
def test_values_that_do_not_convert_raise_the_runtimes_error_naming_the_element(
    tmp_path, codes, ids, int64, number, element
):
    with pytest.raises(drennow.ConversionError) as raised:
        drennow.next_down(codes, ids=ids, int64=int64)
    report = f"Error {number}: {raised.value.description}"
    assert raised.value.number == number
    assert (raised.value.argument, raised.value.position) == element
    assert str(raised.value) == f"{element[0]}[{element[1]}]: {report}"
    # The command line reports the same error for a layer of such values,
    # where its integer fields can hold them.
    if isinstance(codes, list) and all(not isinstance(c, str) for c in codes):
        columns = {"PfafstetterID": (ogr.OFTInteger64, codes)}
        populate = ["--populate", "pfaf"]
        if ids:
            columns["HydroID"] = (ogr.OFTInteger64, ids)
            populate = ["--populate", "id", "--id-field", "HydroID"]
        path = write_layer(tmp_path / "bad.gpkg", columns)
        status, _, err = run_command_line("--pfaf-field", "PfafstetterID", "--level", 9, *populate, path)
        assert status == drennow.ERROR_REPORTED
        assert report in err


def test_only_the_identifiers_written_are_converted():
    # No basin drains into 1234 or the second 1233: their identifiers are
    # never written, as in a run.
    assert drennow.next_down([1234, 1233, 1233], ids=[None, 2, "x"]).tolist() == [2, -5, -5]


def test_sixty_four_bit_codes_need_int64():
    codes = [1234567891234, 1234567891233]
    assert drennow.next_down(codes, int64=True)[0] == 1234567891233
    with pytest.raises(drennow.ConversionError):
        drennow.next_down(codes)


def test_arguments_that_make_no_sense_are_refused():
    with pytest.raises(ValueError, match="as many identifiers as codes"):
        drennow.next_down([1234, 1233], ids=[1])
    with pytest.raises(ValueError, match="one-dimensional"):
        drennow.next_down(np.array([[1234, 1233]]))
    with pytest.raises(ValueError, match="zeros"):
        drennow.next_down([1234], zeros="open")
    with pytest.raises(TypeError, match=r"codes\[1\]: object"):
        drennow.next_down([1234, object()])
    with pytest.raises(TypeError, match="single text"):
        drennow.next_down("1234")
    assert drennow.next_down([]).tolist() == []
