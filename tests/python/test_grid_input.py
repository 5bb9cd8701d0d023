"""What the solvers accept as a grid, and that every accepted form reads the same maze."""

import numpy as np
import pytest

import Corridex
from corridex_support.checks import cells
from corridex_support.grids import grid_from_text

RING = grid_from_text("...", ".#.", "...")


def bfs_route(grid):
    solver = Corridex.BreadthFirstSearch(grid, Corridex.Index(0, 0), Corridex.Index(2, 2))
    solver.solve()
    return cells(solver.TraversedNodes())


EXPECTED = bfs_route(RING)


class BoolArray(np.ndarray):
    """A NumPy subclass, read through the buffer protocol like the array itself."""


class Truthy:
    def __init__(self, value):
        self.value = value

    def __bool__(self):
        return self.value


@pytest.mark.parametrize(
    "grid",
    [
        [[int(v) for v in row] for row in RING],
        [[v or None for v in row] for row in RING],
        [tuple(row) for row in RING],
        tuple(tuple(row) for row in RING),
        [[Truthy(v) for v in row] for row in RING],
        [[np.bool_(v) for v in row] for row in RING],
        np.array(RING, dtype=bool),
        np.array(RING, dtype=np.uint8),
        np.array(RING, dtype=np.int64),
        np.array(RING, dtype=float),
        np.asfortranarray(np.array(RING, dtype=bool)),
        np.array([[v for v in row] + [False] for row in RING], dtype=bool)[:, :3],
        np.array(RING, dtype=bool).view(BoolArray),
        memoryview(np.array(RING, dtype=bool)),
        memoryview(np.array(RING, dtype=np.uint8)),
    ],
    ids=[
        "ints",
        "none-as-false",
        "list-of-tuples",
        "tuple-of-tuples",
        "objects-with-bool",
        "numpy-bool-items",
        "numpy-bool",
        "numpy-uint8",
        "numpy-int64",
        "numpy-float",
        "numpy-fortran-order",
        "numpy-strided-view",
        "numpy-subclass",
        "memoryview-bool",
        "memoryview-bytes",
    ],
)
def test_accepted_forms_read_the_same_maze(grid):
    assert bfs_route(grid) == EXPECTED


def test_numpy_values_other_than_zero_and_one_are_open():
    grid = np.array(RING, dtype=np.uint8) * 7
    assert bfs_route(grid) == EXPECTED


@pytest.mark.parametrize(
    "grid",
    [
        None,
        "...",
        b"\x01\x01",
        {0: [True]},
        ["..."],
        [[True, "x"]],
        [[True, object()]],
        [[True], None],
        [True, False],
        np.zeros((2, 2, 2), dtype=bool),
    ],
    ids=[
        "none",
        "str",
        "bytes",
        "dict",
        "list-of-str",
        "str-cell",
        "object-cell",
        "none-row",
        "flat-list",
        "three-dimensional",
    ],
)
def test_rejected_forms_raise_type_error(solver_class, grid):
    with pytest.raises(TypeError, match="incompatible constructor arguments"):
        solver_class(grid, Corridex.Index(0, 0), Corridex.Index(0, 0))


def test_rejection_names_the_method_called_and_the_cell():
    with pytest.raises(TypeError, match=r"^__init__\(\): incompatible constructor arguments\. "
                                        r"grid row 1, column 0 \(of type 'str'\)"):
        Corridex.AStar([[True], ["x"]], Corridex.Index(0, 0), Corridex.Index(0, 0))


def test_bool_raising_inside_a_cell_becomes_type_error(solver_class):
    class Broken:
        def __bool__(self):
            raise RuntimeError("no truth value")

    with pytest.raises(TypeError):
        solver_class([[True, Broken()]], Corridex.Index(0, 0), Corridex.Index(0, 0))


def test_list_shrunk_by_a_cells_bool_is_rejected_not_overread(solver_class):
    row = [True, True, True, True]

    class Shrinker:
        def __bool__(self):
            del row[1:]
            return True

    row[0] = Shrinker()
    with pytest.raises(TypeError):
        solver_class([row], Corridex.Index(0, 0), Corridex.Index(0, 0))


@pytest.mark.parametrize("grid", [[], [[], []]], ids=["no-rows", "empty-rows"])
def test_empty_grids_build_but_have_no_open_cell(solver_class, grid):
    solver = solver_class(grid, Corridex.Index(0, 0), Corridex.Index(0, 0))
    with pytest.raises(ValueError, match=r"^start 0,0 is not an open cell of the grid$"):
        solver.solve()
