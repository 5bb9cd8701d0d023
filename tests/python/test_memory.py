"""Memory: work too large for the machine is refused at once, and nothing leaks.

The leak checks run 1,000 rounds per class and 100 mazes by default; set
CORRIDEX_FULL_LEAK_CHECK=1 for 10,000 and 1,000.
"""

import gc
import math
import os
import sys
import time

import numpy
import pytest

import Corridex
from Corridex import Index
from reliability_mazes import SOLVER_IDS, SOLVERS, corners, perfect_maze, snapshot

FULL = os.environ.get("CORRIDEX_FULL_LEAK_CHECK") == "1"
SOLVE_ROUNDS = 10_000 if FULL else 1_000
GENERATE_ROUNDS = 1_000 if FULL else 100
GENERATOR = getattr(Corridex, "RandomMazeGenerator", None)
needs_generator = pytest.mark.skipif(GENERATOR is None, reason="no RandomMazeGenerator")

PAGE = os.sysconf("SC_PAGE_SIZE")
PHYSICAL_MEMORY = os.sysconf("SC_PHYS_PAGES") * PAGE
MIB = 2**20


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE


def test_floyd_warshall_refuses_tables_beyond_memory_at_once():
    # Every cell of an open grid is a node; the tables take 16 bytes per pair of nodes.
    nodes = math.sqrt(2 * PHYSICAL_MEMORY / 16)
    side = math.isqrt(math.ceil(nodes)) + 2
    grid = numpy.ones((side, side), dtype=bool)
    solver = Corridex.FloydWarshall(grid, *corners(grid))
    before = resident_bytes()
    started = time.monotonic()
    with pytest.raises(MemoryError, match="more than this machine's memory"):
        solver.solve()
    assert time.monotonic() - started < 0.5
    assert resident_bytes() - before < 64 * MIB
    assert snapshot(solver) == ([], 0, [], 0)


def test_a_grid_beyond_memory_is_refused_before_it_is_copied():
    # One row repeated: a few megabytes of list standing for 2^36 cells.
    grid = [[True] * 2**20] * 2**16
    before = resident_bytes()
    with pytest.raises(MemoryError, match="the grid would need 68719476736 bytes"):
        Corridex.BreadthFirstSearch(grid, Index(), Index())
    assert resident_bytes() - before < 64 * MIB


@needs_generator
@pytest.mark.parametrize(
    "width, hight", [(2**22, 2**22), (2**40, 4), (4, 2**40)], ids=["square", "tall", "wide"]
)
def test_generator_refuses_mazes_beyond_memory_at_once(width, hight):
    before = resident_bytes()
    started = time.monotonic()
    with pytest.raises(MemoryError):
        GENERATOR(width, hight).generate()
    assert time.monotonic() - started < 0.5
    assert resident_bytes() - before < 64 * MIB


def flat_memory(run, rounds, warm_up):
    """Resident growth in bytes over `rounds` calls of `run`, after `warm_up` calls."""
    for _ in range(warm_up):
        run()
    gc.collect()
    before = resident_bytes()
    for _ in range(rounds):
        run()
    gc.collect()
    return resident_bytes() - before


@pytest.fixture(scope="module")
def small_maze():
    grid = perfect_maze(12, 12, seed=3, loops=0.1)
    return (grid, *corners(grid))


@pytest.mark.parametrize("cls", SOLVERS, ids=SOLVER_IDS)
def test_construct_solve_and_drop_leaves_memory_flat(cls, small_maze):
    def round_trip():
        solver = cls(*small_maze)
        solver.solve()
        snapshot(solver)

    # A leaked graph or results block of this maze is kilobytes a round: megabytes in all.
    assert flat_memory(round_trip, SOLVE_ROUNDS, warm_up=200) < MIB / 2


@pytest.mark.parametrize("cls", SOLVERS, ids=SOLVER_IDS)
def test_rejected_arguments_leave_memory_flat(cls, small_maze):
    grid = small_maze[0]

    def rejected():
        with pytest.raises(TypeError):
            cls(grid, Index(), None)
        with pytest.raises(ValueError):
            cls(grid, Index(), Index(1, 1)).solve()

    assert flat_memory(rejected, SOLVE_ROUNDS, warm_up=200) < MIB / 2


@needs_generator
def test_generating_leaves_memory_flat():
    assert flat_memory(lambda: GENERATOR(41, 41).generate(), GENERATE_ROUNDS, warm_up=20) < MIB / 2


def held_by_list_alone(items):
    """True when each item has exactly the references of a new object placed in a list."""
    alone = [sys.getrefcount(item) for item in [object()]][0]
    return [sys.getrefcount(item) for item in items] == [alone] * len(items)


@pytest.mark.parametrize("cls", SOLVERS, ids=SOLVER_IDS)
def test_solvers_keep_no_reference_to_their_arguments(cls, small_maze):
    grid, start, end = small_maze
    watched = [grid, *grid, start, end, True, False]
    gc.collect()
    before = [sys.getrefcount(item) for item in watched]

    solver = cls(grid, start, end)
    assert [sys.getrefcount(item) for item in watched] == before
    solver.solve()
    path = solver.SrcToDestPath()
    assert held_by_list_alone(path)
    del path, solver
    gc.collect()
    assert [sys.getrefcount(item) for item in watched] == before


@needs_generator
def test_generated_grids_are_owned_by_the_caller_alone():
    generator = GENERATOR(9, 9)
    watched = [generator, True, False]
    gc.collect()
    before = [sys.getrefcount(item) for item in watched]
    grid = generator.generate()
    assert sys.getrefcount(grid) == sys.getrefcount([])
    assert held_by_list_alone(grid)
    del grid
    gc.collect()
    assert [sys.getrefcount(item) for item in watched] == before
