"""Bad input gets a clear Python exception, never a crash, a hang or a leak.

One table: each row is an input, the exception it must raise (None when it must be accepted)
and the classes it is tried on. After every row the process must still solve mazes correctly,
and no message may run past 1,000 characters. Rows that reach native code with unusual shapes,
sizes or half-made objects run in a child process, so that a crash fails that row instead of
ending the whole run. Plain argument checks of Index, the grid forms and the generator's sizes
are tested in their own files.

Run one row by hand with `python tests/python/test_bad_input.py ROW-ID`.
"""

import copy
import dataclasses
import gc
import json
import os
import pickle
import re
import subprocess
import sys
from decimal import Decimal
from fractions import Fraction
from typing import Callable, Optional, Tuple, Union

import numpy
import pytest

import Corridex
from Corridex import Index

T, F = True, False
MAX64 = 2**64 - 1

from corridex_support.promises import PROMISES, SOLVERS  # noqa: E402
CORRIDOR_SOLVERS = tuple(s for s in SOLVERS if PROMISES[s.__name__].graph == "corridor")
GENERATOR = Corridex.RandomMazeGenerator
EVERY_CLASS = (Index, GENERATOR, *SOLVERS)
NATIVE_STATE = (GENERATOR, *SOLVERS)
MESSAGE_LIMIT = 1000

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


RING = [[T, T, T], [T, F, T], [T, T, T]]


def made(cls):
    """A working object of any class of the module."""
    if cls is Index:
        return Index(3, 4)
    if cls is GENERATOR:
        return GENERATOR(6, 6)
    return cls(RING, Index(0, 0), Index(2, 2))


def uninitialised(cls):
    """An object made by __new__ alone, as unpickling or a careless subclass would."""
    return cls.__new__(cls)


# What can be done with each kind of object: every method and every attribute read and write.
INDEX_USES = {
    "row": lambda o: o.row,
    "col": lambda o: o.col,
    "set-row": lambda o: setattr(o, "row", 1),
    "set-col": lambda o: setattr(o, "col", 1),
    "repr": repr,
    "eq": lambda o: o == Index(),
    "ne": lambda o: o != Index(),
    "eq-other-side": lambda o: Index() == o,
    "ne-other-side": lambda o: Index() != o,
    "as-start": lambda o: Corridex.BreadthFirstSearch(RING, o, Index()),
    "as-end": lambda o: Corridex.DepthFirstSearch(RING, Index(), o),
}
SOLVER_USES = ("solve", "SrcToDestPath", "SrcToDestDistance", "TraversedNodes",
               "TraversedNodesNo")


def reinitialised(cls):
    """A second __init__ raises, and the object keeps working as it was."""
    target = made(cls)
    before = repr(target) if cls is Index else None
    try:
        if cls is Index:
            target.__init__(7, 8)
        elif cls is GENERATOR:
            target.__init__(2**40, 2**40)
        else:
            target.__init__([[T]], Index(), Index())
    finally:
        if cls is Index:
            assert repr(target) == before
        elif cls is GENERATOR:
            assert len(target.generate()) == 6
        else:
            assert solved(cls, RING, Index(0, 0), Index(2, 2))[1] == 4
            target.solve()
            assert target.SrcToDestDistance() == 4


def initialised_late(cls):
    """__new__, then __init__: the object works like one made in one call."""
    target = uninitialised(cls)
    if cls is Index:
        target.__init__(3, 4)
        assert repr(target) == "3,4"
    elif cls is GENERATOR:
        target.__init__(6, 6)
        assert len(target.generate()) == 6
    else:
        target.__init__(RING, Index(0, 0), Index(2, 2))
        target.solve()
        assert target.SrcToDestDistance() == 4


def round_trip(copier):
    """Index is a value: each copy equals the original and is a new object."""

    def check(_):
        original = Index(MAX64, 7)
        twin = copier(original)
        assert type(twin) is Index and twin == original and twin is not original
        twin.row = 1
        assert original.row == MAX64

    return check


class LabelledIndex(Index):
    """A subclass with an attribute of its own, as user code makes them."""


def subclass_round_trip(copier):
    """A copy of an Index subclass keeps its class and its attributes, and is a new object."""

    def check(_):
        original = LabelledIndex(MAX64, 7)
        original.label = ["exit"]
        twin = copier(original)
        assert type(twin) is LabelledIndex and twin == original and twin is not original
        assert twin.label == ["exit"]
        twin.col = 1
        assert original.col == 7

    return check


def reduced_by_object(protocol):
    """object's own __reduce_ex__ at the protocols that go through __reduce__."""

    def check(cls):
        target = made(cls)
        reduced = object.__reduce_ex__(target, protocol)
        assert reduced == target.__reduce__()
        return reduced

    return check


def index_reduced(_):
    assert Index(3, 4).__reduce__() == (Index, (3, 4))
    assert Index(3, 4).__reduce_ex__(2) == (Index, (3, 4))


class CellsRow:
    """A row that is a sequence but neither a list nor a tuple."""

    def __init__(self, cells):
        self.cells = cells

    def __len__(self):
        return len(self.cells)

    def __getitem__(self, index):
        return self.cells[index]


def grid_of_rows(make_row, bad, at, rows=4, cols=7):
    """A grid whose rows `make_row` builds from lists, with `bad` at `at` (row != column, so
    that a message with the two swapped does not pass)."""
    grid = [[T] * cols for _ in range(rows)]
    grid[at[0]][at[1]] = bad
    return [make_row(row) for row in grid]


def pickled(protocol):
    return lambda value: pickle.loads(pickle.dumps(value, protocol=protocol))


COPIERS = {
    **{f"pickle-{protocol}": pickled(protocol) for protocol in range(pickle.HIGHEST_PROTOCOL + 1)},
    "copy": copy.copy,
    "deepcopy": copy.deepcopy,
}


def grid_of(size, bad, at):
    """A size x size grid of True with `bad` at cell `at`, or as the whole row `at[0]` when
    `at[1]` is None."""
    grid = [[T] * size for _ in range(size)]
    row, col = at
    if col is None:
        grid[row] = bad
    else:
        grid[row][col] = bad
    return grid


def chained_from_bool(cls):
    """An item's failing __bool__ gives TypeError naming the cell, caused by its own error."""
    try:
        cls([[T, T], [T, Truthless()]], Index(), Index())
    except TypeError as error:
        assert isinstance(error.__cause__, RuntimeError), repr(error.__cause__)
        assert re.search(r"row 1, column 1 \(of type '.*Truthless'\)", str(error)), str(error)
        raise


class Interrupts:
    def __bool__(self):
        raise KeyboardInterrupt


def interrupt_goes_through(cls):
    """KeyboardInterrupt from an item's __bool__ is not turned into a TypeError."""
    with pytest.raises(KeyboardInterrupt):
        cls([[T, Interrupts()]], Index(), Index())


ROWS = [
    # Index: integers only. Decimals and fractions are not truncated; NumPy integers are taken.
    Row("index-decimal", lambda _: Index(Decimal("3.7"), 0), TypeError),
    Row("index-whole-decimal", lambda _: Index(0, Decimal("3")), TypeError),
    Row("index-fraction", lambda _: Index(Fraction(7, 2)), TypeError),
    Row("index-attribute-decimal", lambda _: setattr(Index(), "row", Decimal("3.7")), TypeError),
    Row("index-attribute-fraction", lambda _: setattr(Index(), "col", Fraction(7, 2)), TypeError),
    Row("index-numpy-integers", lambda _: repr(Index(numpy.int64(3), numpy.uint64(MAX64))), None),
    Row("index-attribute-numpy-integer", lambda _: setattr(Index(), "col", numpy.uint8(9)), None),
    Row("index-2^64-1-accepted", lambda _: repr(Index(MAX64, 0)), None),
    # Objects made by __new__ without __init__: every use raises TypeError, nothing crashes.
    *(Row(f"uninitialised-index-{use}", lambda _, use=use: INDEX_USES[use](uninitialised(Index)),
          TypeError, match="Index object is not initialised", isolate=True)
      for use in INDEX_USES),
    *(Row(f"uninitialised-solver-{use}", lambda c, use=use: getattr(uninitialised(c), use)(),
          TypeError, SOLVERS, match="object is not initialised", isolate=True)
      for use in SOLVER_USES),
    Row("uninitialised-generator-generate", lambda _: uninitialised(GENERATOR).generate(),
        TypeError, match="RandomMazeGenerator object is not initialised", isolate=True),
    Row("uninitialised-pickled", lambda c: pickle.dumps(uninitialised(c)), TypeError,
        EVERY_CLASS, isolate=True),
    Row("uninitialised-then-initialised", initialised_late, None, EVERY_CLASS, isolate=True),
    # A second __init__ is refused; the object keeps what the first made.
    Row("second-init", reinitialised, TypeError, EVERY_CLASS,
        match="object is already initialised", isolate=True),
    # Pickling and copying: Index by value, objects with native state refused, at every protocol.
    *(Row(f"index-{name}", round_trip(copier), None, isolate=True)
      for name, copier in COPIERS.items()),
    *(Row(f"native-{name}", lambda c, copier=copier: copier(made(c)), TypeError, NATIVE_STATE,
          match=r"^cannot pickle '\w+' object$", isolate=True)
      for name, copier in COPIERS.items()),
    *(Row(f"index-subclass-{name}", subclass_round_trip(copier), None, isolate=True)
      for name, copier in COPIERS.items()),
    # __reduce__ called by hand (as some serializers do), or through object's __reduce_ex__.
    Row("index-reduce", index_reduced, None, isolate=True),
    Row("index-reduce-of-another-object", lambda _: Index.__reduce__((3, 4)), TypeError,
        match="__reduce__ of Index called on a 'tuple' object", isolate=True),
    Row("native-reduce", lambda c: made(c).__reduce__(), TypeError, NATIVE_STATE,
        match=r"^cannot pickle '\w+' object$", isolate=True),
    Row("uninitialised-reduce", lambda c: uninitialised(c).__reduce__(), TypeError, EVERY_CLASS,
        match="object is not initialised", isolate=True),
    *(Row(f"index-object-reduce-ex-{protocol}", reduced_by_object(protocol), None, (Index,),
          isolate=True) for protocol in (0, 1)),
    *(Row(f"native-object-reduce-ex-{protocol}", reduced_by_object(protocol), TypeError,
          NATIVE_STATE, match=r"^cannot pickle '\w+' object$", isolate=True)
      for protocol in (0, 1)),
    # Grids that are not lists of rows of truth values.
    Row("grid-integer", lambda c: c(7, Index(), Index()), TypeError, SOLVERS),
    Row("grid-list-of-bytes", lambda c: c([b"\x01\x01"], Index(), Index()), TypeError, SOLVERS),
    Row("grid-row-holding-list", lambda c: c([[T, [T]]], Index(), Index()), TypeError, SOLVERS,
        match=r"row 0, column 1 \(of type 'list'\) has no truth value"),
    *(Row(f"grid-{kind}-rows-bad-cell-named",
          lambda c, make_row=make_row: c(grid_of_rows(make_row, "x", (2, 5)), Index(), Index()),
          TypeError, SOLVERS, match=r"row 2, column 5 \(of type 'str'\) has no truth value")
      for kind, make_row in (("tuple", tuple), ("custom-sequence", CellsRow))),
    Row("grid-string-deep-in-a-large-grid",
        lambda c: c(grid_of(1000, "x", (517, 3)), Index(), Index()), TypeError, SOLVERS,
        match=r"row 517, column 3 \(of type 'str'\) has no truth value"),
    Row("grid-row-deep-in-a-large-grid-not-a-sequence",
        lambda c: c(grid_of(1000, 5, (998, None)), Index(), Index()), TypeError, SOLVERS,
        match=r"row 998 \(of type 'int'\) is not a sequence of cells"),
    Row("grid-cell-bool-raises-is-chained", chained_from_bool, TypeError, SOLVERS),
    Row("grid-cell-bool-interrupted", interrupt_goes_through, None, SOLVERS),
    Row("grid-cell-empties-the-grid", lambda c: c(emptied_outer_grid(), Index(), Index()),
        TypeError, SOLVERS, isolate=True),
    Row("grid-row-lies-about-its-length", lambda c: c([LyingRow()], Index(), Index()), TypeError,
        SOLVERS, match=r"row 0, column 3 could not be read", isolate=True),
    Row("grid-aliased-rows-beyond-memory", lambda c: c([[T] * 2**20] * 2**16, Index(), Index()),
        MemoryError, (Corridex.DepthFirstSearch,), isolate=True),
    # Grids of unusual shape: accepted, and each builder reads them as it documents.
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
    # End cells beside the grid, where a neighbour's column would pass the row or wrap round.
    Row("end-right-of-grid", lambda c: solved(c, [[T, T]], Index(0, 0), Index(0, 2)), ValueError,
        SOLVERS, match="end 0,2 is not an open cell"),
    Row("end-col-2^64-1", lambda c: solved(c, [[T, T]], Index(0, 0), Index(0, MAX64)),
        ValueError, SOLVERS, match="end 0,18446744073709551615", isolate=True),
    # Argument lists that match no signature.
    Row("end-tuple", lambda c: c([[T]], Index(), (0, 0)), TypeError, SOLVERS),
    Row("misspelt-keyword", lambda c: c(gird=[[T]], start=Index(), end=Index()), TypeError,
        SOLVERS),
    Row("extra-argument", lambda c: c([[T]], Index(), Index(), Index()), TypeError, SOLVERS),
    Row("solve-with-argument", lambda c: c([[T]], Index(), Index()).solve(1), TypeError, SOLVERS),
    # RandomMazeGenerator sizes: integers only; huge ones are refused before anything is made.
    Row("generator-decimal", lambda _: GENERATOR(Decimal("4.5"), 4), TypeError),
    Row("generator-fraction", lambda _: GENERATOR(4, hight=Fraction(9, 2)), TypeError),
    Row("generator-numpy-integers", lambda _: generated_shape(numpy.int32(5), numpy.uint64(7),
                                                              rows=4, cols=6), None),
    Row("generator-2^63", lambda _: generated(2**63, 2**63), (MemoryError, ValueError),
        isolate=True),
    Row("generator-2^64-1-rows-of-one-cell", lambda _: generated(MAX64, 2),
        (MemoryError, ValueError), isolate=True),
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


def assert_healthy():
    """The process still solves a known maze with every class and has nothing pending."""
    gc.collect()
    for cls in SOLVERS:
        path, distance = solved(cls, RING, Index(0, 0), Index(2, 2))
        assert distance == 4 and len(path) == 5, (cls.__name__, path, distance)
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
    outcomes = run_in_child(row.id) if row.isolate else run_row(row)
    assert len(outcomes) == len(row.classes or (None,))
    for target, raised, message in outcomes:
        assert raised in expected_names(row.raises), f"{target}: {raised}: {message}"
        assert len(message) < MESSAGE_LIMIT, f"{target}: {len(message)} characters"
        if row.match is not None:
            assert re.search(row.match, message), f"{target}: {message}"
    assert_healthy()


def main(row_id):
    # A row that allocates without limit fails here rather than taking the machine's memory;
    # not under AddressSanitizer (LD_PRELOAD of libasan), which maps terabytes of shadow, and
    # only where there are resource limits.
    if os.name == "posix" and "libasan" not in os.environ.get("LD_PRELOAD", ""):
        import resource

        limit = 16 * 2**30
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    outcomes = run_row(ROWS_BY_ID[row_id])
    assert_healthy()
    print(json.dumps(outcomes))


if __name__ == "__main__":
    main(sys.argv[1])
