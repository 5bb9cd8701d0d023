"""Exact results on small mazes whose every step can be followed by hand."""

import pytest

import Corridex
from corridex_support.checks import cells, snapshot, solved
from corridex_support.grids import grid_from_text
from corridex_support.promises import PROMISES

OPEN3 = ("...", "...", "...")
RING = ("...", ".#.", "...")
TWO_LOOPS = ("........", ".#....#.", ".#......")
CROSSING = ("#.#", "...", "#.#")
TWO_LOOPS_ROUTE = [(2, 0), (1, 0), (0, 0)] + [(0, c) for c in range(1, 8)] + [(1, 7)]

# (class, grid rows, start, end, traversed, path, distance, TraversedNodesNo)
CASES = [
    ("DepthFirstSearch", OPEN3, (0, 0), (2, 2),
     [(0, 0), (1, 0), (2, 0), (2, 1), (2, 2)], [(2, 2), (2, 1), (2, 0), (1, 0), (0, 0)], 4, 5),
    ("DepthFirstSearch", ("..", ".."), (0, 0), (0, 1),
     [(0, 0), (1, 0), (1, 1), (0, 1)], [(0, 1), (1, 1), (1, 0), (0, 0)], 3, 4),
    ("DepthFirstSearch", RING, (0, 0), (2, 2),
     [(0, 0), (2, 0), (2, 2)], [(2, 2), (2, 1), (2, 0), (1, 0), (0, 0)], 4, 3),
    ("DepthFirstSearch", (".....",), (0, 0), (0, 4),
     [(0, 0), (0, 4)], [(0, 4), (0, 3), (0, 2), (0, 1), (0, 0)], 4, 2),
    ("DepthFirstSearch", (".#.",), (0, 0), (0, 2), [(0, 0)], [], 0, 1),
    ("BreadthFirstSearch", OPEN3, (0, 0), (2, 2),
     [(0, 0), (1, 0), (0, 1), (2, 0), (1, 1), (0, 2), (2, 1), (1, 2), (2, 2)],
     [(2, 2), (2, 1), (2, 0), (1, 0), (0, 0)], 4, 9),
    ("BreadthFirstSearch", ("..", ".."), (0, 0), (0, 1),
     [(0, 0), (1, 0), (0, 1)], [(0, 1), (0, 0)], 1, 3),
    ("BreadthFirstSearch", RING, (0, 0), (2, 2),
     [(0, 0), (1, 0), (0, 1), (2, 0), (0, 2), (2, 1), (1, 2), (2, 2)],
     [(2, 2), (2, 1), (2, 0), (1, 0), (0, 0)], 4, 8),
    ("BreadthFirstSearch", (".#.",), (0, 0), (0, 2), [(0, 0)], [(0, 2)], 0, 1),
    # From a cell with open neighbours on every side: up, down, left, right.
    ("BreadthFirstSearch", CROSSING, (1, 1), (1, 2),
     [(1, 1), (0, 1), (2, 1), (1, 0), (1, 2)], [(1, 2), (1, 1)], 1, 5),
    ("DijkstraAlgorithm", ("...",), (0, 1), (0, 2),
     [(0, 1), (0, 0), (0, 2)], [(0, 2), (0, 1)], 1, 3),
    ("DijkstraAlgorithm", TWO_LOOPS, (1, 7), (2, 0),
     [(1, 7), (0, 7), (2, 7), (0, 5), (2, 5), (0, 4), (1, 5), (2, 4), (1, 4), (0, 3), (2, 3),
      (1, 3), (0, 2), (2, 2), (1, 2), (0, 0), (2, 0)], TWO_LOOPS_ROUTE, 10, 17),
    ("DijkstraAlgorithm", (".#.",), (0, 0), (0, 2), [(0, 0)], [], 0, 1),
    ("AStar", ("...",), (0, 1), (0, 2), [(0, 1), (0, 2)], [(0, 2), (0, 1)], 1, 2),
    ("AStar", TWO_LOOPS, (1, 7), (2, 0),
     [(1, 7), (2, 7), (2, 5), (2, 4), (2, 3), (2, 2), (1, 4), (1, 3), (1, 2), (0, 7), (1, 5),
      (0, 5), (0, 4), (0, 2), (0, 3), (0, 0), (2, 0)], TWO_LOOPS_ROUTE, 12, 17),
    ("AStar", (".#.",), (0, 0), (0, 2), [(0, 0)], [], 0, 1),
    # Ties: of two equally short routes the one whose offer came first is kept (an equal
    # distance changes nothing), and nodes of equal key leave the queue in the heap's order.
    ("AStar", ("..", ".."), (0, 0), (1, 1),
     [(0, 0), (0, 1), (1, 0), (1, 1)], [(1, 1), (0, 1), (0, 0)], 2, 4),
    ("AStar", OPEN3, (0, 0), (2, 2),
     [(0, 0), (0, 1), (1, 0), (0, 2), (1, 1), (2, 0), (1, 2), (2, 1), (2, 2)],
     [(2, 2), (1, 2), (0, 2), (0, 1), (0, 0)], 4, 9),
    ("AStar", OPEN3, (2, 2), (0, 0),
     [(2, 2), (2, 1), (1, 2), (2, 0), (1, 1), (0, 2), (1, 0), (0, 1), (0, 0)],
     [(0, 0), (1, 0), (2, 0), (2, 1), (2, 2)], 4, 9),
    ("BellmanFord", ("...",), (0, 1), (0, 2), [(0, 0), (0, 2)], [(0, 2), (0, 1)], 1, 2),
    ("BellmanFord", ("..", "#."), (1, 1), (0, 0),
     [(0, 1), (0, 0)], [(0, 0), (0, 1), (1, 1)], 2, 2),
    ("BellmanFord", TWO_LOOPS, (1, 7), (2, 0),
     [(0, 7), (2, 7), (2, 5), (0, 5), (2, 4), (1, 5), (0, 4), (1, 4), (2, 3), (0, 3), (1, 3),
      (2, 2), (0, 2), (1, 2), (0, 0), (2, 0)], TWO_LOOPS_ROUTE, 10, 16),
    ("BellmanFord", (".",), (0, 0), (0, 0), [], [(0, 0)], 0, 0),
    ("BellmanFord", (".#.",), (0, 0), (0, 2), [], [], 0, 0),
    ("FloydWarshall", (".....",), (0, 0), (0, 4),
     [(0, 0), (0, 4)], [(0, 0), (0, 1), (0, 2), (0, 3), (0, 4)], 4, 8),
    ("FloydWarshall", ("...",), (0, 1), (0, 2),
     [(0, 0), (0, 1), (0, 2)], [(0, 1), (0, 2)], 1, 27),
    ("FloydWarshall", RING, (0, 0), (2, 2),
     [(0, 0), (0, 2), (2, 0), (2, 2)], [(0, 0), (0, 1), (0, 2), (1, 2), (2, 2)], 4, 64),
    ("FloydWarshall", RING, (2, 2), (0, 0),
     [(0, 0), (0, 2), (2, 0), (2, 2)], [(2, 2), (1, 2), (0, 2), (0, 1), (0, 0)], 4, 64),
    ("FloydWarshall", (".#.",), (0, 0), (0, 2), [(0, 0), (0, 2)], [], 0, 8),
]


@pytest.mark.parametrize(
    "name, rows, start, end, traversed, path, distance, count",
    CASES,
    ids=[f"{c[0]}-{'/'.join(c[1])}-{c[2]}-{c[3]}" for c in CASES],
)
def test_worked_example(name, rows, start, end, traversed, path, distance, count):
    solver = solved(getattr(Corridex, name), grid_from_text(*rows), start, end)
    assert cells(solver.TraversedNodes()) == traversed
    assert cells(solver.SrcToDestPath()) == path
    assert solver.SrcToDestDistance() == distance
    assert solver.TraversedNodesNo() == count


def test_start_equal_to_end(solver_class):
    solver = solved(solver_class, grid_from_text(*RING), (0, 2), (0, 2))
    assert cells(solver.SrcToDestPath()) == [(0, 2)]
    assert solver.SrcToDestDistance() == 0
    if PROMISES[solver_class.__name__].recorded == "start-first":
        assert cells(solver.TraversedNodes()) == [(0, 2)]


def test_before_solve_everything_is_empty(solver_class):
    solver = solver_class(grid_from_text(*RING), Corridex.Index(0, 0), Corridex.Index(2, 2))
    assert solver.SrcToDestPath() == []
    assert solver.TraversedNodes() == []
    assert solver.SrcToDestDistance() == 0
    assert solver.TraversedNodesNo() == 0


@pytest.mark.parametrize(
    "start, end, message",
    [
        ((1, 1), (0, 0), "start 1,1 is not an open cell of the grid"),
        ((0, 0), (1, 1), "end 1,1 is not an open cell of the grid"),
        ((3, 0), (0, 0), "start 3,0 is not an open cell of the grid"),
        ((0, 0), (2**64 - 1, 5), "end 18446744073709551615,5 is not an open cell of the grid"),
    ],
    ids=["start-on-wall", "end-on-wall", "start-outside", "end-far-outside"],
)
def test_missing_end_raises_value_error_and_records_nothing(solver_class, start, end, message):
    solver = solver_class(grid_from_text(*RING), Corridex.Index(*start), Corridex.Index(*end))
    with pytest.raises(ValueError, match=f"^{message}$"):
        solver.solve()
    assert solver.TraversedNodes() == []
    assert solver.SrcToDestPath() == []


def test_second_solve_returns_the_first_results(end_first_class):
    solver = solved(end_first_class, grid_from_text(*TWO_LOOPS), (1, 7), (2, 0))
    first = snapshot(solver)
    solver.solve()
    assert snapshot(solver) == first


def test_floyd_warshall_second_solve_appends_another_copy():
    solver = solved(Corridex.FloydWarshall, grid_from_text(*RING), (0, 0), (2, 2))
    route = cells(solver.SrcToDestPath())
    solver.solve()
    assert cells(solver.SrcToDestPath()) == route + route
    assert solver.TraversedNodesNo() == 8**3
    assert solver.SrcToDestDistance() == 4
