"""Drennow: NextDownID of watershed basins from their Pfafstetter codes.

For every basin, Drennow finds the basin that lies next downstream and gives
its Pfafstetter code or its identifier; a basin whose downstream basin cannot
be determined gets a negative failure code instead. The answers are those of
the drennow command line, computed by the same compiled core.

Functions:

    next_down(codes, ids=None, ...)
        NextDownID of a whole set of codes at once, as a NumPy array.
    describe(code)
        The failure log's text for a failure code.
    run(dataset, ...)
        The whole command on a GDAL dataset (GeoPackage, Shapefile, SQLite,
        PostgreSQL), exactly as ``drennow --batch``: fills its NextDownID
        field and writes the failure log Drennow.log.
    fill(frame, pfaf_field, id_field=None, ...)
        A copy of a pandas or GeoPandas frame with a NextDownID column.

Classes and functions of the network of basins (NumPy in and out):

    Network.from_codes(codes, ...), Network.from_next_down(ids, next_down)
        The network: per basin, where it drains (downstream), its outlet,
        moves and rank; accumulate() sums, means, ... over upstream sets;
        upstream(), downstream_of() and is_upstream() answer queries.
    network_fields(frame, pfaf_field=..., sum={"SUB_AREA": "UP_AREA"}, ...)
        A copy of a frame with columns of its network, as drennow network
        writes them.

Example, on a GeoPackage of basins with PfafstetterID and HydroID fields::

    import drennow
    result = drennow.run("basins.gpkg", populate="id", id_field="HydroID")
    print(result.status, result.message, len(result.failures))
"""

from __future__ import annotations

import operator
import os
import sys
from dataclasses import dataclass, field
from typing import (TYPE_CHECKING, Any, Callable, Iterable, List, Literal, NamedTuple, Optional, Sequence, Tuple, Union,
                    overload)

from . import _drennow
from ._arguments import _column_values, _flag, _unsubdivided
from ._network import Cycles, Network, NetworkWarning, network_fields

if TYPE_CHECKING:
    import numpy
    import pandas

__all__ = [
    "__version__",
    "ConversionError",
    "Comparison",
    "Failure",
    "Result",
    "next_down",
    "describe",
    "run",
    "fill",
    "Network",
    "Cycles",
    "NetworkWarning",
    "network_fields",
    "FINISHED",
    "ERROR_REPORTED",
    "BAD_COMMAND_LINE",
    "CHECK_FAILED",
    "DECLINED",
    "SAVED_WITHOUT_LOG",
    "CANCELLED",
]

#: The version of drennow, the command line's.
__version__: str = _drennow.VERSION

# The command line's exit statuses, which Result.status takes: a cancel by
# a signal other than SIGINT gives 128 + that signal.
FINISHED: int = _drennow.EXIT_STATUSES["FINISHED"]
ERROR_REPORTED: int = _drennow.EXIT_STATUSES["ERROR_REPORTED"]
BAD_COMMAND_LINE: int = _drennow.EXIT_STATUSES["BAD_COMMAND_LINE"]
CHECK_FAILED: int = _drennow.EXIT_STATUSES["CHECK_FAILED"]
DECLINED: int = _drennow.EXIT_STATUSES["DECLINED"]
# The edits were saved, but the failure log could not be written; the
# failures are in Result.failures all the same.
SAVED_WITHOUT_LOG: int = _drennow.EXIT_STATUSES["SAVED_WITHOUT_LOG"]
CANCELLED: int = _drennow.EXIT_STATUSES["CANCELLED"]

Zeros = Literal["closed", "unsubdivided"]
PathLike = Union[str, "os.PathLike[str]"]
#: A yes-or-no option: a bool, or "yes" or "no".
Flag = Union[bool, Literal["yes", "no"]]
FailureLines = List[Tuple[int, int, str]]


class ConversionError(ValueError):
    """A code or identifier that does not convert to a whole number, or a
    value to accumulate that does not convert to a number.

    Raised with the runtime's error number and text, as the run reports it:
    13 (type mismatch) for text that is not a number, 6 (overflow) for a
    value beyond the codes' width, 94 (invalid use of Null) for a missing
    identifier that a basin drains into. next_down(), Network.from_next_down
    and Network.accumulate name the element, as in "codes[3]: Error 13: Type
    mismatch"; network_fields names the column.
    """

    def __init__(self, message: str, number: int, description: str, argument: Optional[str] = None,
                 position: Optional[int] = None) -> None:
        super().__init__(message)
        #: The runtime's error number.
        self.number = number
        #: The runtime's text for it.
        self.description = description
        #: "codes", "ids", "next_down", "values" or "weights" (network_fields:
        #: the column): where the element is, when known.
        self.argument = argument
        #: The element's position in it, when known.
        self.position = position


class Failure(NamedTuple):
    """One line of the failure log: object id, failure code, description."""

    #: The feature's id (its FID).
    object_id: int
    #: The failure code written into NextDownID.
    code: int
    #: The failure log's text.
    description: str


@dataclass(frozen=True)
class Comparison:
    """What the comparison with another field found (``compare_with``)."""

    field: str
    agreeing: int
    compared: int
    log_path: str


@dataclass(frozen=True)
class Result:
    """How a run ended.

    status: the command line's exit status (FINISHED, ERROR_REPORTED,
        BAD_COMMAND_LINE, CHECK_FAILED, DECLINED, SAVED_WITHOUT_LOG, CANCELLED).
    message: the closing message when the run finished, else what the
        command line writes to stderr (the check's message, the error
        report, the reason for refusing, the cancel); empty when a choice
        was declined.
    failures: the lines of the failure log this run wrote; empty when it
        wrote none.
    log_path: the failure log this run wrote, or None.
    comparison: what compare_with found, or None.
    """

    status: int
    message: str
    failures: Sequence[Failure] = field(default_factory=list)
    log_path: Optional[str] = None
    comparison: Optional[Comparison] = None

    def __hash__(self) -> int:
        # The failures are a list, which has no hash of its own.
        return hash((self.status, self.message, tuple(self.failures), self.log_path, self.comparison))

    @property
    def finished(self) -> bool:
        """The run finished and saved its values."""
        return self.status == FINISHED


@overload
def next_down(
    codes: Iterable[Any],
    *,
    ids: Optional[Iterable[Any]] = None,
    trailing_zeros: Flag = False,
    zeros: Zeros = "closed",
    int64: Flag = False,
    return_failures: Literal[False] = False,
) -> "numpy.ndarray": ...


@overload
def next_down(
    codes: Iterable[Any],
    *,
    ids: Optional[Iterable[Any]] = None,
    trailing_zeros: Flag = False,
    zeros: Zeros = "closed",
    int64: Flag = False,
    return_failures: Literal[True],
) -> Tuple["numpy.ndarray", FailureLines]: ...


@overload
def next_down(
    codes: Iterable[Any],
    *,
    ids: Optional[Iterable[Any]] = None,
    trailing_zeros: Flag = False,
    zeros: Zeros = "closed",
    int64: Flag = False,
    return_failures: Flag = False,
) -> Union["numpy.ndarray", Tuple["numpy.ndarray", FailureLines]]: ...


def next_down(
    codes: Iterable[Any],
    *,
    ids: Optional[Iterable[Any]] = None,
    trailing_zeros: Flag = False,
    zeros: Zeros = "closed",
    int64: Flag = False,
    return_failures: Flag = False,
) -> Union["numpy.ndarray", Tuple["numpy.ndarray", FailureLines]]:
    """NextDownID of every code, as a run writes it into a layer of exactly these codes.

    codes: Pfafstetter codes, a NumPy array (integer or floating-point, masked
        or not) or any sequence of numbers, numeric texts and None. None, NaN,
        pandas.NA, pandas.NaT and masked entries are null codes. Texts are
        read as int() and float() read them: blanks around them do not count,
        and "nan" is NaN.
    ids: when given, the identifier of each code's basin, as many as codes;
        NextDownID is then the identifier of the first basin carrying the
        downstream code rather than that code. As in a run, only the
        identifiers written are converted: those of the first basin of each
        downstream code.
    trailing_zeros: allow trailing zeros in the codes (the run's question;
        its default answer there is yes, here no).
    zeros: "closed" (a 0 digit marks a closed basin) or "unsubdivided" (a
        unit not subdivided at its level, as HydroBASINS writes its codes;
        trailing_zeros then changes nothing).
    int64: codes and identifiers as 64-bit integers (codes of up to 19
        digits); else a value beyond 32 bits raises.
    return_failures: also return the failure log's lines of the features
        that got a failure code, as (position, code, description).

    The options trailing_zeros, int64 and return_failures take True or False,
    or "yes" or "no"; anything else raises TypeError.

    Returns a NumPy int64 array, one value per code: the downstream code or
    identifier, or a failure code: -6 null code, -8 code 0, -9 drains to the
    receiving waterbody, -5 nothing downstream found (or, with ids, no
    identifier for it), -3 negative code, -1 the search failed. describe()
    gives their texts.

    Raises ConversionError (with .number, and .argument and .position of the
    element) for a code or identifier that does not convert, TypeError for a
    value that is neither a number nor a text; Ctrl-C raises
    KeyboardInterrupt while it works.

    >>> drennow.next_down([1234, 1233, 1211, 1212])
    array([1233, 1211,   -9, 1211])
    """
    return _drennow.next_down(
        codes,
        ids,
        _flag("trailing_zeros", trailing_zeros),
        _unsubdivided(zeros),
        _flag("int64", int64),
        _flag("return_failures", return_failures),
    )


def describe(code: int) -> str:
    """The failure log's text for a failure code written into NextDownID.

    >>> drennow.describe(-9)
    'Basin drains to waterbody/internally'

    -5 has two texts in the log: the search's, returned here, and "Required
    ID missing in downstream feature" for a downstream basin without an
    identifier; next_down(..., return_failures=True) gives each line's own.
    A code that NextDownID never holds as a failure raises ValueError.
    """
    return _drennow.describe(code)


def run(
    dataset: Union[PathLike, Sequence[PathLike]],
    *,
    layer: Optional[str] = None,
    pfaf_field: Optional[str] = None,
    level: Union[int, str, None] = None,
    populate: Literal["pfaf", "id"] = "pfaf",
    id_field: Optional[str] = None,
    trailing_zeros: Optional[Flag] = None,
    zeros: Zeros = "closed",
    int64: Flag = False,
    compare_with: Optional[str] = None,
    where: Optional[str] = None,
    fid: Union[Iterable[int], str, None] = None,
    log_dir: Optional[PathLike] = None,
    save_edits: Optional[Literal["yes", "no", "cancel"]] = None,
    progress: Optional[Callable[[float, str], Any]] = None,
) -> Result:
    """Fill NextDownID of a watershed layer of a GDAL dataset, as ``drennow --batch`` does.

    Each keyword answers the question or sets the option of the command line
    of that name (``drennow --help``); a question left unanswered (None)
    takes its default, and the data, the failure log Drennow.log and the
    status are exactly the command line's.

    dataset: a GeoPackage, Shapefile, SQLite file or folder, or a PostgreSQL
        connection ("PG:dbname=..."); a list of them makes the map. The log
        goes beside the first one, or into log_dir.
    layer, pfaf_field, level, id_field: the layer and fields to use; without
        them the run takes the entries named as it expects (Watershed,
        PfafstetterID, HydroID, ...), and refuses (BAD_COMMAND_LINE) where
        no entry has such a name.
    populate: "pfaf" writes downstream Pfafstetter codes, "id" the
        downstream basins' identifiers (id_field).
    trailing_zeros, zeros, int64, compare_with: as for the command line;
        trailing_zeros and int64 take True or False, or "yes" or "no".
    where, fid: write only the features an attribute filter or a list of
        feature ids ([1, 5, 9] or "1,5,9-12") selects; ids of the list must be
        integers (TypeError for 1.5).
    save_edits: what to do with pending edits of another session.
    progress: called now and then as progress(fraction, message) with the
        fraction (0 to 1) of the current step and the run's status text. It
        cancels the run by returning False (as Esc does), or by raising
        KeyboardInterrupt (as Ctrl-C does; Ctrl-C itself cancels too); any
        other exception it raises cancels the run and is raised again once
        nothing has been saved.

    Returns a Result; a cancelled run saves nothing and ends with status
    CANCELLED. Raises ValueError, with the command line's text, for
    arguments the command line refuses (a bad choice, where with fid,
    trailing_zeros with zeros="unsubdivided") and for a text argument that
    holds a NUL character; TypeError for a yes-or-no option given anything
    else; RuntimeError, at once, when called from the progress callback of
    another run.
    """
    def text(name: str, value: Any) -> Optional[str]:
        return None if value is None else _text(name, str(value))

    keywords = {
        "layer": text("layer", layer),
        "pfaf_field": text("pfaf_field", pfaf_field),
        "level": text("level", level),
        "populate": text("populate", populate),
        "id_field": text("id_field", id_field),
        "trailing_zeros": None if trailing_zeros is None else _flag("trailing_zeros", trailing_zeros),
        "zeros": text("zeros", zeros),
        "int64": _flag("int64", int64),
        "compare_with": text("compare_with", compare_with),
        "where": text("where", where),
        "fid": text("fid", fid) if fid is None or isinstance(fid, str) else [operator.index(f) for f in fid],
        "log_dir": None if log_dir is None else text("log_dir", os.fspath(log_dir)),
        "save_edits": text("save_edits", save_edits),
    }
    datasets = [dataset] if isinstance(dataset, (str, os.PathLike)) else list(dataset)
    paths = [_text("dataset", os.fspath(d)) for d in datasets]
    given = [(name, value) for name, value in keywords.items() if value is not None]

    status, message, failures, log_path, comparison = _drennow.run(paths, given, progress)
    return Result(
        status=status,
        message=message,
        failures=[Failure(*line) for line in failures],
        log_path=log_path,
        comparison=None if comparison is None else Comparison(*comparison),
    )


def fill(
    frame: "pandas.DataFrame",
    pfaf_field: str,
    *,
    id_field: Optional[str] = None,
    column: str = "NextDownID",
    **options: Any,
) -> "pandas.DataFrame":
    """A copy of a pandas or GeoPandas frame with a NextDownID column.

    Every row is a basin; the values are next_down() of the frame's
    pfaf_field (and id_field, when given, for identifiers), so the column
    holds what a run writes into a layer of these rows. Missing values
    (None, NaN, pandas.NA) are null codes.

    options: trailing_zeros, zeros, int64, as for next_down().

    >>> basins = geopandas.read_file("basins.gpkg")
    >>> basins = drennow.fill(basins, "PfafstetterID", id_field="HydroID")
    """
    if "ids" in options or "return_failures" in options:
        raise TypeError("fill() takes id_field instead of ids, and returns no failures")
    filled = frame.copy()
    ids = None if id_field is None else _column_values(frame[id_field])
    filled[column] = next_down(_column_values(frame[pfaf_field]), ids=ids, **options)
    return filled


def _text(name: str, value: str) -> str:
    """A text argument as given: the compiled part would end it at a NUL."""
    if "\0" in value:
        raise ValueError(f"{name} holds a NUL character: {value!r}")
    return value
