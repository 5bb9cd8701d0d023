"""Bad input gets a clear Python exception, never a crash, a hang or a leak.

One table: each row is an input, the exception it must raise (None when it must be accepted)
and the classes it is tried on. After every row the process must still solve mazes correctly.
Rows that reach native code with unusual shapes or sizes run in a child process, so that a crash
fails that row instead of ending the whole run.

Run one row by hand with `python tests/python/test_bad_input.py ROW-ID`.
"""

import dataclasses
import gc
import json
import re
import resource
import subprocess
import sys
from typing import Callable, Optional, Tuple, Union

import pytest

import Corridex
from Corridex import Index

T, F = True, False
MAX64 = 2**64 - 1

from conftest import SOLVERS
CORRIDOR_SOLVERS = tuple(s for s in SOLVERS if s is not Corridex.BreadthFirstSearch)
GENERATOR = getattr(Corridex, "RandomMazeGenerator", None)

ExceptionTypes = Union[type, Tuple[type, ...], None]


@dataclasses.dataclass(frozen=True)
class Row:
    id: str
    # Called once per class in `classes`, or once with None when the row is about no solver.
    call: Callable[[Optional[type]], object]
    raises: ExceptionTypes
    classes: Tuple[type, ...] = ()
    match: Optional[str] = None
    isolate: bool = False
    needs_generator: bool = False


def solved(cls, grid, start, end):
    """Constructs and solves; returns (path as tuples, distance)."""
    solver = cls(grid, start, end)
    solver.solve()
    return [(i.row, i.col) for i in solver.SrcToDestPath()], solver.SrcToDestDistance()


def solved_in_steps(steps):
    """A call that must find a route of `steps` single steps between the given cells."""

    def check(cls, grid, start, end):
        path, distance = solved(cls, grid, start, end)
        assert distance == steps and len(path) == steps + 1, (path, distance)
        return distance

    return check


class Truthless:
    """An object whose truth value cannot be taken."""

    def __bool__(self):
        raise RuntimeError("no truth value")


class ShrinksItsRow:
    """Empties the list that holds it while the grid is being read."""

    def __init__(self, holder):
        self.holder = holder

    def __bool__(self):
        self.holder.clear()
        return True


class LyingRow:
    """A sequence that claims far more cells than it can produce."""

    def __len__(self):
        return 2**40

    def __getitem__(self, index):
        if index >= 3:
            raise IndexError(index)
        return True


def shrinking_grid():
    row = [T, T, T]
    row.insert(1, ShrinksItsRow(row))
    return [row, [T, T, T, T]]


def emptied_outer_grid():
    grid = [[T, T], [T, T]]
    grid[0][1] = ShrinksItsRow(grid)
    return grid


def ragged_longer():
    return [[T, T, T], [T, T, T, T, T], [T, T, T]]


def ragged_shorter():
    return [[T, T, T], [T], [T, T, T]]


def generated(width, hight):
    return GENERATOR(width, hight).generate()


def generated_shape(width, hight, rows, cols):
    grid = generated(width, hight)
    assert len(grid) == rows and all(len(row) == cols for row in grid), (width, hight)
    return grid


ROWS = [
    # Index arguments: rejected by conversion, before any object exists.
    Row("index-negative-row", lambda _: Index(-1, 0), TypeError),
    Row("index-negative-col", lambda _: Index(0, -1), TypeError),
    Row("index-float", lambda _: Index(1.5, 0), TypeError),
    Row("index-string", lambda _: Index("1", 0), TypeError),
    Row("index-none", lambda _: Index(None, 0), TypeError),
    Row("index-2^64", lambda _: Index(2**64, 0), TypeError),
    Row("index-col-2^64", lambda _: Index(col=2**64), TypeError),
    Row("index-2^64-1-accepted", lambda _: repr(Index(MAX64, 0)), None),
    Row("index-attribute-negative", lambda _: setattr(Index(), "row", -1), TypeError),
    Row("index-attribute-2^64", lambda _: setattr(Index(), "col", 2**64), TypeError),
    Row("index-compared-with-none", lambda _: Index() == None, TypeError),  # noqa: E711
    Row("index-compared-with-tuple", lambda _: Index() != (0, 0), TypeError),
    Row("index-hashed", lambda _: hash(Index()), TypeError),
    # Grids that are not lists of rows of truth values.
    Row("grid-none", lambda c: c(None, Index(), Index()), TypeError, SOLVERS),
    Row("grid-string", lambda c: c("TF", Index(), Index()), TypeError, SOLVERS),
    Row("grid-bytes", lambda c: c(b"\x01\x01", Index(), Index()), TypeError, SOLVERS),
    Row("grid-dict", lambda c: c({0: [T, T]}, Index(), Index()), TypeError, SOLVERS),
    Row("grid-integer", lambda c: c(7, Index(), Index()), TypeError, SOLVERS),
    Row("grid-list-of-strings", lambda c: c(["TT", "TF"], Index(), Index()), TypeError, SOLVERS),
    Row("grid-list-of-bytes", lambda c: c([b"\x01\x01"], Index(), Index()), TypeError, SOLVERS),
    Row("grid-list-of-numbers", lambda c: c([1, 0], Index(), Index()), TypeError, SOLVERS),
    Row("grid-row-holding-string", lambda c: c([[T, "x"]], Index(), Index()), TypeError, SOLVERS),
    Row("grid-row-holding-object", lambda c: c([[T, object()]], Index(), Index()), TypeError,
        SOLVERS),
    Row("grid-row-holding-list", lambda c: c([[T, [T]]], Index(), Index()), TypeError, SOLVERS),
    Row("grid-later-row-a-string", lambda c: c([[T, T], "TT"], Index(), Index()), TypeError,
        SOLVERS),
    Row("grid-cell-without-truth-value", lambda c: c([[T, Truthless()]], Index(), Index()),
        TypeError, SOLVERS),
    Row("grid-cell-empties-its-row", lambda c: c(shrinking_grid(), Index(), Index()), TypeError,
        SOLVERS, isolate=True),
    Row("grid-cell-empties-the-grid", lambda c: c(emptied_outer_grid(), Index(), Index()),
        TypeError, SOLVERS, isolate=True),
    Row("grid-row-lies-about-its-length", lambda c: c([LyingRow()], Index(), Index()), TypeError,
        SOLVERS, isolate=True),
    Row("grid-aliased-rows-beyond-memory", lambda c: c([[T] * 2**20] * 2**16, Index(), Index()),
        MemoryError, (Corridex.DepthFirstSearch,), isolate=True),
    # Grids of unusual shape: accepted, and each builder reads them as it documents.
    Row("grid-empty-list", lambda c: solved(c, [], Index(), Index()), ValueError, SOLVERS,
        match="start 0,0 is not an open cell", isolate=True),
    Row("grid-of-empty-rows", lambda c: solved(c, [[], [], []], Index(), Index()), ValueError,
        SOLVERS, match="start 0,0 is not an open cell", isolate=True),
    Row("grid-empty-first-row", lambda c: solved(c, [[], [T, T]], Index(1, 0), Index(1, 1)),
        ValueError, CORRIDOR_SOLVERS, match="start 1,0", isolate=True),
    Row("grid-1xN", lambda c: solved_in_steps(9)(c, [[T] * 10], Index(0, 0), Index(0, 9)), None,
        SOLVERS, isolate=True),
    Row("grid-Nx1", lambda c: solved_in_steps(9)(c, [[T]] * 10, Index(0, 0), Index(9, 0)), None,
        SOLVERS, isolate=True),
    Row("grid-1x1", lambda c: solved_in_steps(0)(c, [[T]], Index(0, 0), Index(0, 0)), None,
        SOLVERS, isolate=True),
    Row("ragged-longer-row", lambda c: solved_in_steps(4)(c, ragged_longer(), Index(0, 0),
                                                          Index(2, 2)), None, SOLVERS,
        isolate=True),
    Row("ragged-longer-row-end-beyond-width-corridor",
        lambda c: solved(c, ragged_longer(), Index(0, 0), Index(1, 4)), ValueError,
        CORRIDOR_SOLVERS, match="end 1,4 is not an open cell", isolate=True),
    Row("ragged-longer-row-end-beyond-width-cell",
        lambda c: solved(c, ragged_longer(), Index(0, 0), Index(1, 4)), None,
        (Corridex.BreadthFirstSearch,), isolate=True),
    Row("ragged-shorter-row", lambda c: solved_in_steps(4)(c, ragged_shorter(), Index(0, 0),
                                                           Index(2, 2)), None, SOLVERS,
        isolate=True),
    Row("ragged-shorter-row-end-in-missing-cell",
        lambda c: solved(c, ragged_shorter(), Index(0, 0), Index(1, 2)), ValueError, SOLVERS,
        match="end 1,2 is not an open cell", isolate=True),
    # Start and end cells that have no node.
    Row("start-below-grid", lambda c: solved(c, [[T, T]], Index(1, 0), Index(0, 1)), ValueError,
        SOLVERS, match="start 1,0 is not an open cell"),
    Row("end-right-of-grid", lambda c: solved(c, [[T, T]], Index(0, 0), Index(0, 2)), ValueError,
        SOLVERS, match="end 0,2 is not an open cell"),
    Row("start-row-2^64-1", lambda c: solved(c, [[T, T]], Index(MAX64, 0), Index(0, 1)),
        ValueError, SOLVERS, match="start 18446744073709551615,0", isolate=True),
    Row("end-col-2^64-1", lambda c: solved(c, [[T, T]], Index(0, 0), Index(0, MAX64)),
        ValueError, SOLVERS, match="end 0,18446744073709551615", isolate=True),
    Row("start-on-wall", lambda c: solved(c, [[F, T], [T, T]], Index(0, 0), Index(1, 1)),
        ValueError, SOLVERS, match="start 0,0 is not an open cell"),
    Row("end-on-wall", lambda c: solved(c, [[T, T], [T, F]], Index(0, 0), Index(1, 1)),
        ValueError, SOLVERS, match="end 1,1 is not an open cell"),
    Row("no-open-cell", lambda c: solved(c, [[F, F], [F, F]], Index(0, 0), Index(1, 1)),
        ValueError, SOLVERS),
    # Argument lists that match no signature.
    Row("start-none", lambda c: c([[T]], None, Index()), TypeError, SOLVERS),
    Row("end-tuple", lambda c: c([[T]], Index(), (0, 0)), TypeError, SOLVERS),
    Row("missing-end", lambda c: c(grid=[[T]], start=Index()), TypeError, SOLVERS),
    Row("misspelt-keyword", lambda c: c(gird=[[T]], start=Index(), end=Index()), TypeError,
        SOLVERS),
    Row("extra-argument", lambda c: c([[T]], Index(), Index(), Index()), TypeError, SOLVERS),
    Row("solve-with-argument", lambda c: c([[T]], Index(), Index()).solve(1), TypeError, SOLVERS),
    # RandomMazeGenerator sizes: small ones draw what they can, huge ones are refused.
    Row("generator-height-keyword", lambda _: GENERATOR(width=4, height=4), TypeError,
        needs_generator=True),
    Row("generator-negative", lambda _: GENERATOR(-2, 4), TypeError, needs_generator=True),
    Row("generator-float", lambda _: GENERATOR(4.0, 4), TypeError, needs_generator=True),
    Row("generator-2^64", lambda _: GENERATOR(2**64, 4), TypeError, needs_generator=True),
    Row("generator-0x0", lambda _: generated(0, 0), None, needs_generator=True, isolate=True),
    Row("generator-1x1", lambda _: generated(1, 1), None, needs_generator=True, isolate=True),
    Row("generator-1x9", lambda _: generated(1, 9), None, needs_generator=True, isolate=True),
    Row("generator-odd-5x7", lambda _: generated_shape(5, 7, rows=4, cols=6), None,
        needs_generator=True, isolate=True),
    Row("generator-2^63", lambda _: generated(2**63, 2**63), (MemoryError, ValueError),
        needs_generator=True, isolate=True),
    Row("generator-2^64-1", lambda _: generated(MAX64, MAX64), (MemoryError, ValueError),
        needs_generator=True, isolate=True),
    Row("generator-2^64-1-rows-of-one-cell", lambda _: generated(MAX64, 2),
        (MemoryError, ValueError), needs_generator=True, isolate=True),
    Row("generator-one-row-of-2^64-1", lambda _: generated(2, MAX64), (MemoryError, ValueError),
        needs_generator=True, isolate=True),
    Row("generator-beyond-memory", lambda _: generated(2**22, 2**22), MemoryError,
        needs_generator=True, isolate=True),
]
ROWS_BY_ID = {row.id: row for row in ROWS}
assert len(ROWS_BY_ID) == len(ROWS), "row ids must be unique"


def run_row(row):
    """Runs a row; returns one (target, exception name or None, message) per call made."""
    outcomes = []
    for cls in row.classes or (None,):
        try:
            row.call(cls)
        except Exception as error:  # noqa: BLE001 - every outcome is recorded and compared
            outcomes.append((getattr(cls, "__name__", "-"), type(error).__name__, str(error)))
        else:
            outcomes.append((getattr(cls, "__name__", "-"), None, ""))
    return outcomes


RING = [[T, T, T], [T, F, T], [T, T, T]]


def assert_healthy():
    """The process still solves a known maze with every class and has nothing pending."""
    gc.collect()
    for cls in SOLVERS:
        path, distance = solved(cls, RING, Index(0, 0), Index(2, 2))
        assert distance == 4 and len(path) == 5, (cls.__name__, path, distance)
    if GENERATOR is not None:
        assert len(GENERATOR(5, 7).generate()) == 4
    assert sys.exc_info() == (None, None, None)


def run_in_child(row_id):
    """Runs a row in a fresh interpreter; a crash there fails the row here."""
    child = subprocess.run(
        [sys.executable, __file__, row_id], capture_output=True, text=True, timeout=120
    )
    assert child.returncode == 0, (
        f"row {row_id} ended its process with code {child.returncode}\n{child.stderr[-2000:]}"
    )
    return [tuple(outcome) for outcome in json.loads(child.stdout.splitlines()[-1])]


def expected_names(raises):
    if raises is None:
        return {None}
    if isinstance(raises, tuple):
        return {kind.__name__ for kind in raises}
    return {raises.__name__}


@pytest.mark.parametrize("row", ROWS, ids=[row.id for row in ROWS])
def test_bad_input_gets_a_clear_exception(row):
    if row.needs_generator and GENERATOR is None:
        pytest.skip("this build has no RandomMazeGenerator")
    outcomes = run_in_child(row.id) if row.isolate else run_row(row)
    assert len(outcomes) == len(row.classes or (None,))
    for target, raised, message in outcomes:
        assert raised in expected_names(row.raises), f"{target}: {raised}: {message}"
        if row.match is not None:
            assert re.search(row.match, message), f"{target}: {message}"
    assert_healthy()


def main(row_id):
    # A row that allocates without limit fails here rather than taking the machine's memory.
    limit = 16 * 2**30
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    outcomes = run_row(ROWS_BY_ID[row_id])
    assert_healthy()
    print(json.dumps(outcomes))


if __name__ == "__main__":
    main(sys.argv[1])
