"""Every input is read as it is written, or refused: nulls of every library, texts as int() reads them,
yes-or-no options, texts with a NUL."""

import subprocess
import sys

import numpy as np
import pandas
import pytest

import drennow
from conftest import COMMAND_LINE, SAMPLE, copy_to, read_column
from test_run import folder_digest

CODES = [1234, 1233, 1232, 1211, 1212, 1236, 1235]


def with_nulls(at):
    return [None if i in at else code for i, code in enumerate(CODES)]


@pytest.mark.parametrize("hidden", [np.array(CODES, dtype=np.int32), np.array(CODES, dtype=np.int64),
                                    np.array(CODES, dtype=np.float64),
                                    # Hidden values that would be refused, or found downstream.
                                    np.array([1234, 2**40, 1232, 1211, 1212, 1236, 1235], dtype=np.int64),
                                    np.array([1234, "abc", 1232, 1211, 1212, object(), 1235], dtype=object)])
def test_masked_entries_are_null_codes_whatever_they_hide(hidden):
    mask = [False, True, False, False, False, True, False]
    expected = drennow.next_down(with_nulls({1, 5}))
    assert -6 in expected.tolist() and 1233 not in expected.tolist()
    codes = np.ma.array(hidden, mask=mask)
    assert drennow.next_down(codes).tolist() == expected.tolist()
    # As identifiers, masked entries are missing ones.
    ids = np.ma.array([10, 11, 12, 13, 14, 15, 16], mask=[False, False, False, True, False, False, False])
    with pytest.raises(drennow.ConversionError) as raised:
        drennow.next_down(CODES, ids=ids)
    assert (raised.value.number, raised.value.argument, raised.value.position) == (94, "ids", 3)


@pytest.mark.parametrize(
    "codes",
    [
        pandas.array(with_nulls({1, 4}), dtype="Int64"),
        pandas.array([None if c is None else float(c) for c in with_nulls({1, 4})], dtype="Float64"),
        pandas.array([None if c is None else str(c) for c in with_nulls({1, 4})], dtype="string"),
        pandas.Series(with_nulls({1, 4}), dtype="Int64"),
        [pandas.NaT if c is None else c for c in with_nulls({1, 4})],
        [pandas.NA if c is None else c for c in with_nulls({1, 4})],
    ],
)
def test_pandas_missing_values_are_null_codes_in_next_down_as_in_fill(codes):
    expected = drennow.next_down(with_nulls({1, 4})).tolist()
    assert drennow.next_down(codes).tolist() == expected
    assert drennow.fill(pandas.DataFrame({"code": codes}), "code")["NextDownID"].tolist() == expected


def test_texts_are_read_as_int_and_float_read_them():
    texts = ["1234\n", "\t1233\u2003", "nan", " 1211\r\n", "\v1212\f", "NaN ", "\u30001235"]
    assert drennow.next_down(texts).tolist() == drennow.next_down(with_nulls({2, 5})).tolist()
    # A text code stands for the integer: its basin's identifier is found.
    assert drennow.next_down(["1234", " 1233 \n", "1211"], ids=[7, 8, 9]).tolist() == [8, 9, -9]
    assert drennow.next_down(np.array(["1234", "1233 "])).tolist() == [1233, -5]
    # What int() and float() refuse, or read as a number beyond any code.
    for text, number in [("\x1c1234", 13), ("12 34", 13), ("inf", 6), ("-Infinity", 6)]:
        with pytest.raises(drennow.ConversionError) as raised:
            drennow.next_down([1234, text])
        assert (raised.value.number, raised.value.position) == (number, 1), text


def test_yes_or_no_options_take_bools_or_yes_and_no_and_nothing_else():
    codes = [1234000, 1233000, 1230000, 1210000]
    for name, yes, no in [("trailing_zeros", True, False), ("int64", True, False)]:
        assert drennow.next_down(codes, **{name: "yes"}).tolist() == drennow.next_down(codes, **{name: yes}).tolist()
        assert drennow.next_down(codes, **{name: "no"}).tolist() == drennow.next_down(codes, **{name: no}).tolist()
        assert drennow.next_down(codes, **{name: np.bool_(True)}).tolist() == drennow.next_down(codes, **{name: yes}).tolist()
        for wrong in ["true", "No", "", 1, 0, None, [True]]:
            with pytest.raises(TypeError, match=name):
                drennow.next_down(codes, **{name: wrong})
    assert drennow.next_down(codes, trailing_zeros="yes").tolist() != drennow.next_down(codes).tolist()
    values, failures = drennow.next_down(codes, return_failures="yes")
    assert len(failures) == 4 and isinstance(drennow.next_down(codes, return_failures="no"), np.ndarray)
    with pytest.raises(TypeError, match="return_failures"):
        drennow.next_down(codes, return_failures=1)


@pytest.mark.parametrize("answer,flag", [("no", False), ("yes", True)])
def test_a_runs_yes_or_no_options_mean_what_they_say(tmp_path, answer, flag):
    ours, theirs = copy_to(tmp_path / "text"), copy_to(tmp_path / "bool")
    assert drennow.run(ours, trailing_zeros=answer, int64=answer).status == drennow.FINISHED
    assert drennow.run(theirs, trailing_zeros=flag, int64=flag).status == drennow.FINISHED
    assert read_column(ours, "NextDownID") == read_column(theirs, "NextDownID")
    before = folder_digest(ours.parent)
    for wrong in [{"trailing_zeros": "false"}, {"int64": "no "}, {"int64": 0}, {"trailing_zeros": 1}]:
        with pytest.raises(TypeError):
            drennow.run(ours, **wrong)
    assert folder_digest(ours.parent) == before


@pytest.mark.parametrize(
    "options",
    [{"where": "fid > 730\0 AND fid < 0"}, {"layer": "Watershed\0x"}, {"pfaf_field": "PfafstetterID\0"},
     {"id_field": "HydroID\0", "populate": "id"}, {"compare_with": "HydroID\0"}, {"fid": "1,2\0,3"},
     {"level": "9\0"}, {"log_dir": "logs\0"}],
)
def test_a_text_with_a_nul_is_refused_and_nothing_changes(tmp_path, options):
    path = copy_to(tmp_path / "data")
    (tmp_path / "logs").mkdir()
    before = folder_digest(path.parent)
    with pytest.raises(ValueError, match="NUL"):
        drennow.run(path, **{k: str(tmp_path / v) if k == "log_dir" else v for k, v in options.items()})
    assert folder_digest(path.parent) == before


def test_feature_ids_that_are_not_integers_are_refused(tmp_path):
    path = copy_to(tmp_path)
    before = folder_digest(tmp_path)
    for fid in [[1, 2.5], [np.float64(3.0)], ["4"]]:
        with pytest.raises(TypeError):
            drennow.run(path, fid=fid)
    assert folder_digest(tmp_path) == before
    assert drennow.run(path, fid=[np.int64(3), 5]).status == drennow.FINISHED


def test_a_dataset_name_with_a_nul_is_refused(tmp_path):
    path = copy_to(tmp_path)
    before = folder_digest(tmp_path)
    for dataset in [f"{path}\0.bak", [str(path), f"{path}\0"]]:
        with pytest.raises(ValueError, match="NUL"):
            drennow.run(dataset)
    assert folder_digest(tmp_path) == before


def test_failure_lines_share_their_texts():
    codes = [1234, None, 0, 1211, None, 0, 1211, 99] * 1000
    _, failures = drennow.next_down(codes, return_failures=True)
    texts = {text for _, _, text in failures}
    assert len(texts) == 3 and len(failures) == 7000
    # One string object for each text, however many lines carry it.
    assert len({id(text) for _, _, text in failures}) == len(texts)
    assert len({id(code) for _, code, _ in failures}) == len(texts)


def test_describe_refuses_codes_that_are_no_failure_codes():
    for code in [5, 0, -7, -10, 1233]:
        with pytest.raises(ValueError, match=str(code)):
            drennow.describe(code)
    assert drennow.describe(-1) == "Unknown Error"


def test_version_and_hashable_results(tmp_path):
    printed = subprocess.run([str(COMMAND_LINE), "--version"], capture_output=True, text=True).stdout
    assert drennow.__version__ and drennow.__version__ in printed
    first, second = drennow.run(copy_to(tmp_path / "a")), drennow.run(copy_to(tmp_path / "b"))
    assert first.failures and hash(first) == hash(drennow.Result(**vars(first)))
    assert {first: 1}[drennow.Result(**vars(first))] == 1
    assert first != second  # their messages name their folders
