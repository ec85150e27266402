# Types of the compiled part of drennow; the documented API is the package's.
from typing import Any, Callable, Dict, Iterable, List, Optional, Tuple, Union

import numpy

EXIT_STATUSES: Dict[str, int]
VERSION: str

def next_down(
    codes: Iterable[Any],
    ids: Optional[Iterable[Any]],
    trailing_zeros: bool,
    zeros_unsubdivided: bool,
    int64: bool,
    with_failures: bool,
) -> Union[numpy.ndarray, Tuple[numpy.ndarray, List[Tuple[int, int, str]]]]: ...
def describe(code: int) -> str: ...
def run(
    datasets: List[str],
    keywords: List[Tuple[str, Union[bool, str, List[int]]]],
    progress: Optional[Callable[[float, str], Any]],
) -> Tuple[
    int, str, List[Tuple[int, int, str]], Optional[str], Optional[Tuple[str, int, int, str]]
]: ...
