"""The network of basins: where each drains, outlets, ranks, upstream sets and accumulations."""

from __future__ import annotations

import sys
import warnings
from typing import TYPE_CHECKING, Any, Dict, Iterable, List, Literal, Mapping, NamedTuple, Optional, Tuple, Union

from . import _drennow
from ._arguments import _column_values, _flag, _unsubdivided

if TYPE_CHECKING:
    import numpy
    import pandas

__all__ = ["Cycles", "Network", "NetworkWarning", "network_fields"]

#: What Network.accumulate computes over each basin's upstream set.
How = Literal["sum", "mean", "min", "max", "count", "weighted_mean"]
#: Positions of basins: an integer, or a NumPy array or sequence of them.
Positions = Union[int, "numpy.ndarray", Iterable[int]]


class NetworkWarning(UserWarning):
    """A network was built, but some basins are left out of it: codes that
    do not convert (taken as null), identifiers that repeat (the first basin
    keeps its flow), basins on or upstream of a cycle (no outlet, no value)."""


class Cycles(NamedTuple):
    """The basins that lie on a cycle of the topology or upstream of one.

    They have no outlet, moves or rank (-1), accumulate to NaN and are
    upstream of themselves only.
    """

    #: How many.
    count: int
    #: The positions of the first of them in read order (at most five).
    first: Tuple[int, ...]


class Network:
    """The network of a set of basins: which basin each drains into, and
    what follows from it (outlets, moves, ranks, upstream sets and
    accumulations over them), computed by the core of the drennow command
    line.

    Basins are named by their position, 0 to len(net) - 1, in the order
    given. Build one with Network.from_codes (Pfafstetter codes) or
    Network.from_next_down (a topology field such as HydroBASINS'
    NEXT_DOWN). A basin's upstream set is the basin itself and every basin
    whose chain down passes through it; it is one interval of a depth-first
    numbering, so membership is two comparisons and an accumulation one pass.

    >>> net = drennow.Network.from_codes([1234, 1233, 1211, 1212])
    >>> net.downstream
    array([ 1,  2, -1,  2])
    >>> net.accumulate([1.0, 2.0, 3.0, 4.0])
    array([ 1.,  3., 10.,  4.])
    """

    __slots__ = ("_core", "_arrays")

    def __init__(self, core: _drennow.Network) -> None:
        """Use Network.from_codes or Network.from_next_down."""
        if not isinstance(core, _drennow.Network):
            raise TypeError("use Network.from_codes or Network.from_next_down to build a network")
        self._core = core
        self._arrays: Dict[str, "numpy.ndarray"] = {}

    @classmethod
    def from_codes(
        cls,
        codes: Iterable[Any],
        *,
        trailing_zeros: Any = False,
        zeros: Literal["closed", "unsubdivided"] = "closed",
        int64: Any = False,
    ) -> "Network":
        """The network of Pfafstetter codes.

        Basin i drains into the first basin, in the order given, whose code
        is basin i's next-down code as next_down() (and the command line)
        computes it with these options; where next_down() gives a failure
        code, or a code that no basin has, the chain ends. Of basins with the
        same code, the first receives the flow.

        codes: as next_down() takes them (NumPy arrays, masked or not,
            pandas Series, sequences of numbers, numeric texts and None);
            null, 0 and negative codes end their chain.
        trailing_zeros, zeros, int64: as for next_down(). A code that does
            not convert at the width (a text that is no number; beyond 32
            bits without int64) is taken as null: counted in unconvertible,
            with a NetworkWarning.

        Raises TypeError for a value that is neither a number nor a text;
        Ctrl-C raises KeyboardInterrupt while it works.
        """
        core = _drennow.network_from_codes(
            _values(codes), _flag("trailing_zeros", trailing_zeros), _unsubdivided(zeros), _flag("int64", int64))
        network = cls(core)
        if core.unconvertible:
            width = "64" if _flag("int64", int64) else "32"
            network._warn(f"codes that do not convert to {width}-bit whole numbers, taken as null: "
                          f"{core.unconvertible} (the first at position {core.first_unconvertible})")
        network._warn_of_cycles()
        return network

    @classmethod
    def from_next_down(cls, ids: Iterable[Any], next_down: Iterable[Any]) -> "Network":
        """The network of a topology field.

        Basin i drains into the first basin whose identifier equals
        next_down[i]; 0, null or an identifier of no basin ends the chain.
        A basin whose identifier is null receives no flow; of basins with the
        same identifier, the first receives it (the others are counted in
        repeated_ids, with a NetworkWarning). A cycle is found and never
        followed: the basins on it or upstream of it are reported in cycles
        (with a NetworkWarning) and get no outlet and no value.

        ids, next_down: whole numbers (of up to 64 bits), as many of one as
            of the other, in the forms next_down() takes codes.

        Raises ValueError for lengths that differ, ConversionError (naming
        "ids" or "next_down" and the position) for a value that does not
        convert to a whole number, TypeError for one that is neither a
        number nor a text.

        >>> net = drennow.Network.from_next_down([10, 20, 30], [0, 10, 10])
        >>> net.outlet
        array([0, 0, 0])
        """
        core = _drennow.network_from_next_down(_values(ids), _values(next_down))
        network = cls(core)
        if core.repeated_ids:
            network._warn(f"basins whose identifier an earlier basin has: {core.repeated_ids} (the first receives "
                          f"the flow)")
        network._warn_of_cycles()
        return network

    def __len__(self) -> int:
        return len(self._core)

    def __repr__(self) -> str:
        cycles = self.cycles.count
        return f"<drennow.Network of {len(self)} basins" + (f", {cycles} on or upstream of a cycle>" if cycles else ">")

    @property
    def downstream(self) -> "numpy.ndarray":
        """Per basin, the position of the basin it drains into, -1 where its
        chain ends (a read-only int64 array)."""
        return self._array("downstream")

    @property
    def outlet(self) -> "numpy.ndarray":
        """Per basin, the position of the last basin of its chain (itself at
        an outlet); -1 on or upstream of a cycle (a read-only int64 array)."""
        return self._array("outlet")

    @property
    def moves(self) -> "numpy.ndarray":
        """Per basin, the moves down to its outlet (0 at an outlet); -1 on or
        upstream of a cycle (a read-only int64 array)."""
        return self._array("moves")

    @property
    def rank(self) -> "numpy.ndarray":
        """Per basin, an order from downstream to upstream, 0 to the number
        of ranked basins - 1: every basin ranks after the basin it drains
        into (as HydroBASINS' SORT); -1 on or upstream of a cycle (a
        read-only int64 array)."""
        return self._array("rank")

    @property
    def cycles(self) -> Cycles:
        """The basins on or upstream of a cycle: how many, and the first few."""
        return Cycles(*self._core.cycles)

    @property
    def unconvertible(self) -> int:
        """How many codes did not convert and were taken as null (from_codes; 0 otherwise)."""
        return self._core.unconvertible

    @property
    def first_unconvertible(self) -> Optional[int]:
        """The position of the first code that did not convert, or None."""
        return self._core.first_unconvertible

    @property
    def repeated_ids(self) -> int:
        """How many basins have an identifier that an earlier basin has
        (from_next_down; 0 otherwise)."""
        return self._core.repeated_ids

    @property
    def memory_bytes(self) -> int:
        """The bytes the network holds (about 28 a basin), without the arrays
        downstream, outlet, moves and rank, which take 8 bytes a basin each
        once asked for."""
        return self._core.memory_bytes

    def accumulate(self, values: Iterable[Any], how: How = "sum",
                   weights: Optional[Iterable[Any]] = None) -> "numpy.ndarray":
        """Per basin, the values over its upstream set (the basin included).

        values: one number per basin, in the forms next_down() takes codes
            (NumPy arrays, masked or not, pandas Series, sequences with None);
            None, NaN, pandas.NA and masked entries are null and left out.
        how: "sum", "mean", "min", "max", "count" (how many values are not
            null), or "weighted_mean" (sum(v * w) / sum(w) over the basins
            where both are present).
        weights: for "weighted_mean" only, one per basin.

        Returns a new float64 array: NaN where the set holds no value (count
        gives 0 there) and for basins on or upstream of a cycle.

        Raises ValueError for an unknown how, weights missing or given where
        they are not used, and lengths that differ from len(self);
        ConversionError (naming "values" or "weights" and the position) for a
        text that is no number; TypeError for a value that is neither a
        number nor a text.

        >>> net = drennow.Network.from_codes([1234, 1233, 1211, 1212])
        >>> net.accumulate([1.0, None, 3.0, 4.0], how="mean")
        array([1.        , 1.        , 2.66666667, 4.        ])
        """
        if not isinstance(how, str):
            raise TypeError(f"how takes a text, not {how!r}")
        return self._core.accumulate(_values(values), how, None if weights is None else _values(weights))

    def upstream(self, positions: Positions) -> "numpy.ndarray":
        """A boolean mask of the basins upstream of any of these positions,
        the given ones included. A basin on or upstream of a cycle is
        upstream of itself only.

        Raises TypeError for positions that are not whole numbers (a boolean
        mask included), IndexError for one that is no basin's (negative
        positions are no basin's: -1 does not mean the last).

        >>> net = drennow.Network.from_codes([1234, 1233, 1211, 1212])
        >>> net.upstream(1)
        array([ True,  True, False, False])
        """
        return self._core.upstream(_positions("positions", positions).ravel())

    def downstream_of(self, positions: Positions) -> "numpy.ndarray":
        """A boolean mask of the basins on the way down from any of these
        positions to their outlets, the given ones included (the basins of a
        cycle reached included). Raises as upstream() does.

        >>> net = drennow.Network.from_codes([1234, 1233, 1211, 1212])
        >>> net.downstream_of(0)
        array([ True,  True,  True, False])
        """
        return self._core.downstream_of(_positions("positions", positions).ravel())

    def is_upstream(self, a: Positions, b: Positions) -> Union[bool, "numpy.ndarray"]:
        """Element-wise: basin a lies upstream of basin b, or is b.

        a, b: positions, broadcast against each other as NumPy does (one
            position against many, say). Basins on or upstream of a cycle are
            upstream of themselves only.

        Returns a boolean array of the broadcast shape (a NumPy bool for two
        single positions). Raises ValueError for shapes that do not
        broadcast, and as upstream() does (IndexError naming the first pair
        with a position that is no basin's).

        >>> net = drennow.Network.from_codes([1234, 1233, 1211, 1212])
        >>> net.is_upstream([0, 3, 2], 2)
        array([ True,  True,  True])
        """
        import numpy

        above, below = _positions("a", a), _positions("b", b)
        try:
            above, below = numpy.broadcast_arrays(above, below)
        except ValueError:
            raise ValueError(f"a and b do not broadcast together: shapes {above.shape} and {below.shape}") from None
        shape = above.shape
        answers = self._core.is_upstream(above.reshape(-1), below.reshape(-1)).reshape(shape)
        return answers[()] if shape == () else answers

    def _array(self, name: str) -> "numpy.ndarray":
        """A per-basin answer, computed once and kept read-only."""
        array = self._arrays.get(name)
        if array is None:
            array = getattr(self._core, name)()
            array.flags.writeable = False
            self._arrays[name] = array
        return array

    def _warn_of_cycles(self) -> None:
        count, first = self.cycles
        if count:
            self._warn(f"basins on or upstream of a cycle: {count} (the first at positions "
                       f"{', '.join(map(str, first))}); they get no outlet and no value")

    @staticmethod
    def _warn(message: str) -> None:
        # Shown at the caller's line: Network's own methods, or network_fields.
        frame, level = sys._getframe(1), 2
        while frame is not None and frame.f_globals.get("__name__") == __name__:
            frame, level = frame.f_back, level + 1
        warnings.warn(message, NetworkWarning, stacklevel=level)


Network.__module__ = Cycles.__module__ = NetworkWarning.__module__ = "drennow"


def _values(values: Any) -> Any:
    """Values as the compiled part reads them: a pandas column's through
    NumPy, its own missing values as None."""
    pandas = sys.modules.get("pandas")
    if pandas is not None and isinstance(values, (pandas.Series, pandas.Index)):
        return _column_values(values)
    return values


def _positions(name: str, positions: Any) -> "numpy.ndarray":
    """Positions as an int64 array; TypeError for anything but whole numbers."""
    import numpy

    array = numpy.asarray(_values(positions))
    if array.size == 0:
        return array.astype(numpy.int64)
    if array.dtype.kind not in "iu":
        raise TypeError(f"{name} takes positions, whole numbers, not values of type {array.dtype}")
    if array.dtype.kind == "u" and array.max() > numpy.iinfo(numpy.int64).max:
        raise IndexError(f"{name}: position {array.max()} is no basin's")
    return array.astype(numpy.int64, copy=False)


#: The outputs of network_fields that accumulate a column.
_ACCUMULATIONS = ("sum", "mean", "min", "max")


def network_fields(
    frame: "pandas.DataFrame",
    *,
    pfaf_field: Optional[str] = None,
    next_down_field: Optional[str] = None,
    id_field: Optional[str] = None,
    sum: Optional[Mapping[str, str]] = None,
    mean: Optional[Mapping[str, str]] = None,
    min: Optional[Mapping[str, str]] = None,
    max: Optional[Mapping[str, str]] = None,
    weighted_mean: Optional[Mapping[Tuple[str, str], str]] = None,
    count: Optional[str] = None,
    outlet: Optional[str] = None,
    moves: Optional[str] = None,
    rank: Optional[str] = None,
    trailing_zeros: Any = None,
    zeros: Optional[Literal["closed", "unsubdivided"]] = None,
    int64: Any = None,
) -> "pandas.DataFrame":
    """A copy of a pandas or GeoPandas frame with columns of its network,
    as ``drennow network`` writes them into a layer of these rows.

    Every row is a basin. The network comes from pfaf_field (with
    trailing_zeros, zeros and int64 as for Network.from_codes) or from
    next_down_field and id_field (Network.from_next_down). The columns:

    sum, mean, min, max: {SOURCE: DEST}, the source column accumulated over
        each basin's upstream set into a float64 column DEST (NaN for none);
    weighted_mean: {(SOURCE, WEIGHT): DEST};
    count: DEST, how many basins lie upstream, the basin included;
    outlet: DEST, the outlet's identifier (id_field), else its code, of the
        id or code column's own type;
    moves, rank: DEST, as Network.moves and Network.rank.

    count, moves and rank are int64 columns, and outlet keeps its column's
    type, as long as every basin has a value; where basins lie on or
    upstream of a cycle, they are pandas' nullable integers with NA there.
    A DEST that exists is replaced. The frame given is not changed. Refused
    before anything is computed: a column that is missing (KeyError, naming
    the columns there are), a DEST given twice or one that the call reads,
    no DEST at all, both or neither of pfaf_field and next_down_field, code
    options without pfaf_field (ValueError); a source value that is no number
    raises ConversionError naming the column.

    >>> basins = geopandas.read_file("hybas_eu_lev12_v1c.gpkg")
    >>> basins = drennow.network_fields(basins, next_down_field="NEXT_DOWN", id_field="HYBAS_ID",
    ...                                 sum={"SUB_AREA": "UP"}, outlet="MAIN", rank="SORT2")
    """
    code_options = {"trailing_zeros": trailing_zeros, "zeros": zeros, "int64": int64}
    if (pfaf_field is None) == (next_down_field is None):
        raise ValueError("network_fields takes pfaf_field or next_down_field (with id_field), one of them")
    if next_down_field is not None and id_field is None:
        raise ValueError("next_down_field needs id_field")
    given_code_options = [name for name, value in code_options.items() if value is not None]
    if next_down_field is not None and given_code_options:
        raise ValueError(f"{', '.join(given_code_options)}: options of pfaf_field only")

    outputs = _outputs(sum=sum, mean=mean, min=min, max=max, weighted_mean=weighted_mean, count=count,
                       outlet=outlet, moves=moves, rank=rank)
    read = [name for name in (pfaf_field, next_down_field, id_field) if name is not None]
    read += [name for output in outputs for name in output.sources]
    _check_columns(frame, read, [output.dest for output in outputs])

    if pfaf_field is not None:
        options = {name: value for name, value in code_options.items() if value is not None}
        network = Network.from_codes(frame[pfaf_field], **options)
    else:
        network = _named(frame, {"ids": id_field, "next_down": next_down_field},
                         lambda: Network.from_next_down(frame[id_field], frame[next_down_field]))
    identifier = pfaf_field if id_field is None else id_field
    columns = {output.dest: _output_column(frame, network, output, identifier) for output in outputs}
    result = frame.copy()
    for dest, values in columns.items():
        result[dest] = values
    return result


class _Output(NamedTuple):
    """A column network_fields writes: what it holds, and the columns read for it."""

    dest: str
    how: str
    sources: Tuple[str, ...] = ()


def _outputs(**asked: Any) -> List[_Output]:
    """The columns asked for, in the order of the keywords."""
    outputs: List[_Output] = []
    for how in _ACCUMULATIONS:
        for source, dest in _mapping(how, asked[how], "{SOURCE: DEST}").items():
            outputs.append(_Output(dest, how, (source,)))
    for sources, dest in _mapping("weighted_mean", asked["weighted_mean"], "{(SOURCE, WEIGHT): DEST}").items():
        if not (isinstance(sources, tuple) and len(sources) == 2):
            raise TypeError(f"weighted_mean takes {{(SOURCE, WEIGHT): DEST}}, not the key {sources!r}")
        outputs.append(_Output(dest, "weighted_mean", sources))
    for how in ("count", "outlet", "moves", "rank"):
        if asked[how] is not None:
            outputs.append(_Output(asked[how], how))
    return outputs


def _mapping(name: str, value: Any, form: str) -> Mapping[Any, Any]:
    if value is None:
        return {}
    if not isinstance(value, Mapping):
        raise TypeError(f"{name} takes {form}, not {value!r}")
    return value


def _check_columns(frame: "pandas.DataFrame", read: List[str], written: List[str]) -> None:
    """Refuses missing columns, DESTs given twice, none at all, or one that is read."""
    missing = [name for name in read if name not in frame.columns]
    if missing:
        raise KeyError(f"no column {missing[0]!r}; the columns are {', '.join(map(str, frame.columns))}")
    if not written:
        raise ValueError("network_fields writes no column: give sum, mean, min, max, weighted_mean, count, outlet, "
                         "moves or rank")
    for dest in written:
        if not isinstance(dest, str):
            raise TypeError(f"a column to write is named by a text, not {dest!r}")
        if written.count(dest) > 1:
            raise ValueError(f"the column {dest!r} is to be written twice")
        if dest in read:
            raise ValueError(f"the column {dest!r} is read by this call and cannot be written by it")


def _named(frame: "pandas.DataFrame", columns: Mapping[str, str], job: Any) -> Any:
    """The job's result; a ConversionError of it names the frame's column
    that the job's argument (as the error names it) was read from."""
    from . import ConversionError

    try:
        return job()
    except ConversionError as error:
        if error.argument not in columns:
            raise
        column = columns[error.argument]
        value = frame[column].iloc[error.position] if error.position is not None else None
        raise ConversionError(f"column {column!r} (value {value!r} in row {error.position}): {error}", error.number,
                              error.description, column, error.position) from error


def _output_column(frame: "pandas.DataFrame", network: Network, output: _Output, identifier: str) -> Any:
    """One column's values, by position."""
    import numpy

    how, sources = output.how, output.sources
    if how in _ACCUMULATIONS or how == "weighted_mean":
        values, weights = frame[sources[0]], frame[sources[-1]] if how == "weighted_mean" else None
        return _named(frame, {"values": sources[0], "weights": sources[-1]},
                      lambda: network.accumulate(values, how, weights))
    if how == "count":
        counted = network.accumulate(numpy.ones(len(network)), "count")
        missing = numpy.isnan(counted)
        return _whole_numbers(numpy.where(missing, 0, counted).astype(numpy.int64), missing)
    if how == "outlet":
        return _taken(frame[identifier], network.outlet)
    answer = network.moves if how == "moves" else network.rank
    return _whole_numbers(answer, answer < 0)


def _whole_numbers(values: "numpy.ndarray", missing: "numpy.ndarray") -> Any:
    """A copy as int64, or as pandas' nullable integers where some are missing."""
    if not missing.any():
        return values.astype("int64")
    import pandas

    return pandas.arrays.IntegerArray(values.astype("int64"), missing.copy())


def _taken(column: "pandas.Series", positions: "numpy.ndarray") -> Any:
    """The column's values at the positions, of its own type; NA where a
    position is -1, a NumPy integer column becoming pandas' nullable one."""
    import numpy
    import pandas

    values = column.array
    if (positions >= 0).all():
        return values.take(positions)
    if isinstance(column.dtype, numpy.dtype) and column.dtype.kind in "iu":
        nullable = f"{'UInt' if column.dtype.kind == 'u' else 'Int'}{column.dtype.itemsize * 8}"
        values = pandas.array(column.to_numpy(), dtype=nullable)
    return values.take(positions, allow_fill=True)
