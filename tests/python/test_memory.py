"""Memory: work too large for the machine is refused at once, and nothing leaks.

The leak checks run 1,000 rounds per class and 100 mazes by default; set
CORRIDEX_FULL_LEAK_CHECK=1 for 10,000 and 1,000.
"""

import gc
import json
import math
import os
import re
import subprocess
import sys
import textwrap

import numpy
import pytest

import Corridex
from Corridex import Index
from corridex_support.checks import snapshot
from corridex_support.promises import SOLVER_NAMES, SOLVERS
from corridex_support.reliability import corners, perfect_maze

FULL = os.environ.get("CORRIDEX_FULL_LEAK_CHECK") == "1"
SOLVE_ROUNDS = 10_000 if FULL else 1_000
GENERATE_ROUNDS = 1_000 if FULL else 100
MIB = 2**20


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.linux
def test_floyd_warshall_refuses_tables_beyond_memory_before_allocating():
    # Every cell of an open grid is a node; the tables take 16 bytes per pair of nodes.
    physical_memory = os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE")
    nodes = math.sqrt(2 * physical_memory / 16)
    side = math.isqrt(math.ceil(nodes)) + 2
    grid = numpy.ones((side, side), dtype=bool)
    solver = Corridex.FloydWarshall(grid, *corners(grid))
    before = resident_bytes()
    with pytest.raises(MemoryError, match=r"^the distance and next-hop tables would need about "
                                          r"[\d.]+ \w+; the limit is [\d.]+ \w+ \(.+\)$"):
        solver.solve()
    assert resident_bytes() - before < 64 * MIB
    assert snapshot(solver) == ([], 0, [], 0)


@pytest.mark.linux
def test_a_grid_beyond_memory_is_refused_before_it_is_copied():
    # One row repeated: a few megabytes of list standing for 2^36 cells.
    grid = [[True] * 2**20] * 2**16
    before = resident_bytes()
    with pytest.raises(MemoryError, match=r"^the grid would need about 64\.0 GiB; the limit is"):
        Corridex.BreadthFirstSearch(grid, Index(), Index())
    assert resident_bytes() - before < 64 * MIB


@pytest.mark.linux
@pytest.mark.parametrize(
    "width, hight", [(2**22, 2**22), (2**40, 4), (4, 2**40)], ids=["square", "tall", "wide"]
)
def test_generator_refuses_mazes_beyond_memory_before_allocating(width, hight):
    before = resident_bytes()
    with pytest.raises(MemoryError):
        Corridex.RandomMazeGenerator(width, hight).generate()
    assert resident_bytes() - before < 64 * MIB


LIMITED = """
import json, resource, sys
import numpy
limit = {limit}
resource.setrlimit(resource.{resource}, (limit, resource.getrlimit(resource.{resource})[1]))
import Corridex
from Corridex import Index
works = {{
    "generator": lambda: Corridex.RandomMazeGenerator(40000, 40000),
    "grid": lambda: Corridex.BreadthFirstSearch([[True] * 2**16] * (5 * 2**14), Index(), Index()),
    "tables": lambda: Corridex.FloydWarshall(
        numpy.ones((300, 300), dtype=bool), Index(0, 0), Index(299, 299)).solve(),
}}
messages = {{}}
for name, work in works.items():
    try:
        work()
    except MemoryError as error:
        messages[name] = str(error)
print(json.dumps(messages))
"""


# qemu's user mode keeps address-space and data limits to itself: the emulated process never
# sees them.
@pytest.mark.posix
@pytest.mark.native
@pytest.mark.parametrize("resource", ["RLIMIT_AS", "RLIMIT_DATA"])
def test_a_resource_limit_is_the_budget_and_the_message_says_so(resource):
    """Under a limit far below the machine's memory, work beyond it is refused before anything
    is allocated, and the message gives what was needed and the limit with its source."""
    if "libasan" in os.environ.get("LD_PRELOAD", ""):
        pytest.skip("AddressSanitizer maps terabytes of shadow memory")
    script = LIMITED.format(limit=4 * 2**30, resource=resource)
    child = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                           timeout=300)
    assert child.returncode == 0, child.stderr
    messages = json.loads(child.stdout)
    limit = rf"; the limit is 4\.0 GiB \({resource}\)$"
    expected = {
        # The carving alone is several GiB, before the lists of the result.
        "generator": r"^RandomMazeGenerator would need about \d+\.\d GiB for a 40000 x 40000 "
                     r"maze( and its Python lists)?" + limit,
        "grid": r"^the grid would need about 5\.0 GiB" + limit,
        # 90,000 nodes, each pair with its entries: tens of GiB.
        "tables": r"^the distance and next-hop tables would need about \d+\.\d GiB" + limit,
    }
    assert set(messages) == set(expected), messages
    for work, pattern in expected.items():
        assert re.search(pattern, messages[work]), messages[work]


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


@pytest.mark.linux
@pytest.mark.parametrize("cls", SOLVERS, ids=SOLVER_NAMES)
def test_construct_solve_and_drop_leaves_memory_flat(cls, small_maze):
    def round_trip():
        solver = cls(*small_maze)
        solver.solve()
        snapshot(solver)

    # A leaked graph or results block of this maze is kilobytes a round: megabytes in all.
    assert flat_memory(round_trip, SOLVE_ROUNDS, warm_up=200) < MIB / 2


@pytest.mark.linux
@pytest.mark.parametrize("cls", SOLVERS, ids=SOLVER_NAMES)
def test_rejected_arguments_leave_memory_flat(cls, small_maze):
    grid = small_maze[0]

    def rejected():
        with pytest.raises(TypeError):
            cls(grid, Index(), None)
        with pytest.raises(ValueError):
            cls(grid, Index(), Index(1, 1)).solve()

    assert flat_memory(rejected, SOLVE_ROUNDS, warm_up=200) < MIB / 2


@pytest.mark.linux
def test_generating_leaves_memory_flat():
    assert flat_memory(lambda: Corridex.RandomMazeGenerator(41, 41).generate(), GENERATE_ROUNDS, warm_up=20) < MIB / 2


def held_by_list_alone(items):
    """True when each item has exactly the references of a new object placed in a list."""
    alone = [sys.getrefcount(item) for item in [object()]][0]
    return [sys.getrefcount(item) for item in items] == [alone] * len(items)


@pytest.mark.parametrize("cls", SOLVERS, ids=SOLVER_NAMES)
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


def test_generated_grids_are_owned_by_the_caller_alone():
    generator = Corridex.RandomMazeGenerator(9, 9)
    watched = [generator, True, False]
    gc.collect()
    before = [sys.getrefcount(item) for item in watched]
    grid = generator.generate()
    assert sys.getrefcount(grid) == sys.getrefcount([])
    assert held_by_list_alone(grid)
    del grid
    gc.collect()
    assert [sys.getrefcount(item) for item in watched] == before


# Run in a fresh interpreter, so that what earlier tests left in the allocators does not count.
# The C library's allocator raises its mapping threshold after a large block is freed (NumPy's
# temporaries, Python's list buffers) and may then keep tens of megabytes of freed heap; with the
# threshold fixed, what stays is what this module keeps.
GROWTH_PROBE = """
import gc, os, sys
import numpy
import Corridex
from Corridex import Index
from corridex_support.promises import UNLIMITED
from corridex_support.reliability import corners, perfect_maze, random_grid

PAGE = os.sysconf("SC_PAGE_SIZE")
def resident():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE

grid = {grid}
{warm_up}
gc.collect()
start = resident()
{body}
gc.collect()
print(resident() - start)
"""


def resident_growth(grid, body, warm_up=""):
    """Resident growth while `body` runs, after `warm_up` (both Python source) on `grid`."""
    script = GROWTH_PROBE.format(grid=grid,
                                 warm_up=textwrap.dedent(warm_up), body=textwrap.dedent(body))
    environment = {**os.environ, "MALLOC_MMAP_THRESHOLD_": str(128 * 1024)}
    child = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                           env=environment, timeout=600)
    assert child.returncode == 0, child.stderr
    return int(child.stdout)


# Under an emulator the resident size includes the emulator's own cache of translated code,
# which grows as the tests run.
@pytest.mark.linux
@pytest.mark.native
def test_each_kept_index_costs_only_its_own_memory():
    # One Index kept from each of many results: the rest of every result is freed and its
    # memory serves the next one, so each kept Index costs its own few hundred bytes at most.
    # The first rounds, which bring the allocators to one result's size, are not counted.
    warm_up = """
        kept = []
        def keep_one_from_each(rounds):
            for _ in range(rounds):
                solver = Corridex.BreadthFirstSearch(grid, *corners(grid))
                solver.solve()
                kept.append(solver.TraversedNodes()[-1])
        keep_one_from_each(20)
    """
    growth = resident_growth("numpy.array(perfect_maze(60, 60, seed=5, loops=0.05))",
                             "keep_one_from_each(3000)", warm_up)
    assert growth < 3000 * 512


# Through the public API pybind11 enters every Index in its table of instances, whose millions
# of freed entries the C library keeps for reuse; the build using its internals skips that table.
@pytest.mark.linux
@pytest.mark.native
@pytest.mark.internals
def test_memory_goes_back_once_every_object_is_gone():
    # Large enough that graphs, tables and result vectors take whole blocks from the system.
    # Released blocks are kept for reuse until they have rested; the first call after a second
    # of rest gives them back.
    growth = resident_growth("random_grid(1200, seed=4)", """
        import time
        held = []
        for cls in UNLIMITED:
            solver = cls(grid, *corners(grid))
            solver.solve()
            held.append((solver, solver.TraversedNodes(), solver.SrcToDestPath()))
        del held, solver, grid
        time.sleep(1)
        Corridex.BreadthFirstSearch([[True]], Index(), Index()).solve()
    """)
    assert growth < 16 * MIB
