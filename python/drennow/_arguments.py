"""The arguments of the package's functions as the compiled part takes them."""

from __future__ import annotations

import sys
from typing import TYPE_CHECKING, Any

if TYPE_CHECKING:
    import pandas


def _column_values(series: "pandas.Series") -> Any:
    """A column's values; pandas' own missing values (pandas.NA, NaT) as None."""
    import numpy

    if isinstance(series.dtype, numpy.dtype) and series.dtype.kind in "iuf":
        return series.to_numpy()
    return series.to_numpy(dtype=object, na_value=None)


def _flag(name: str, value: Any) -> bool:
    """A yes-or-no option's answer: a bool (NumPy's too), or "yes" or "no"."""
    if isinstance(value, bool):
        return value
    numpy = sys.modules.get("numpy")
    if numpy is not None and isinstance(value, numpy.bool_):
        return bool(value)
    if isinstance(value, str) and value in ("yes", "no"):
        return value == "yes"
    raise TypeError(f"{name} takes True or False (or 'yes' or 'no'), not {value!r}")


def _unsubdivided(zeros: str) -> bool:
    if zeros not in ("closed", "unsubdivided"):
        raise ValueError(f"zeros takes closed|unsubdivided, not {zeros}")
    return zeros == "unsubdivided"
