"""Long work stays under the user's control.

Ctrl-C during a long solve(), generate() or grid conversion ends it with KeyboardInterrupt; the
interrupted object stays readable and reports no route, and the process carries on. (That a
later solve() starts over is the core's to test, in tests/cpp.)
"""

import collections
import functools
import itertools
import operator
import os
import signal
import subprocess
import sys
import textwrap
import threading
import time

import numpy
import pytest

import Corridex
from Corridex import Index
from corridex_support.checks import snapshot
from corridex_support.processes import default_ctrl_c
from corridex_support.promises import PROMISES, SOLVER_NAMES, SOLVERS
from corridex_support.reliability import (
    at_every_poll,
    corners,
    on_run,
    perfect_maze,
    random_grid,
    serpentine,
)


# Each child sets up work that runs for several seconds, then runs it and re-raises the
# KeyboardInterrupt after reading the interrupted object. `solver` is None when there is none.
LONG_WORK = {
    "FloydWarshall": """
        grid = numpy.ones((60, 60), dtype=bool)
        solver = Corridex.FloydWarshall(grid, Index(0, 0), Index(59, 59))
        work = solver.solve
    """,
    # Gigabytes of tables to fill before the relaxation starts.
    "FloydWarshall-150": """
        grid = numpy.ones((150, 150), dtype=bool)
        solver = Corridex.FloydWarshall(grid, Index(0, 0), Index(149, 149))
        work = solver.solve
    """,
    "BellmanFord": """
        grid = random_grid(1500, seed=1)
        solver = Corridex.BellmanFord(grid, Index(1499, 1499), Index(0, 0))
        work = solver.solve
    """,
    "DijkstraAlgorithm": """
        grid = numpy.ones((3000, 3000), dtype=bool)
        grid[2998, :] = False
        grid[2999, :2999] = False
        solver = Corridex.DijkstraAlgorithm(grid, Index(0, 0), Index(2999, 2999))
        work = solver.solve
    """,
    "RandomMazeGenerator": """
        solver = None
        work = Corridex.RandomMazeGenerator(12_000, 12_000).generate
    """,
    # Every item goes through its truth value. The last row is bad, so a conversion that let
    # Ctrl-C wait would end in TypeError instead.
    "grid-conversion": """
        solver = None
        grid = [[1] * 8000 for _ in range(8000)]
        grid[-1] = None
        work = lambda: Corridex.BreadthFirstSearch(grid, Index(0, 0), Index(1, 1))
    """,
}
# When the signal is sent, in seconds after the work starts.
INTERRUPTS = [
    *((work, 0.3) for work in sorted(LONG_WORK) if work != "FloydWarshall-150"),
    *(("FloydWarshall-150", delay) for delay in (0.2, 0.5, 1.0)),
]

CHILD = """
import sys
import numpy
import Corridex
from Corridex import Index
from corridex_support.promises import SOLVERS
from corridex_support.reliability import random_grid
{setup}
print("ready", flush=True)
try:
    work()
except KeyboardInterrupt:
    if solver is not None:
        assert solver.SrcToDestPath() == [] and solver.SrcToDestDistance() == 0
        assert solver.TraversedNodesNo() >= 0
    # The process carries on: every class still solves a small maze.
    ring = [[True, True, True], [True, False, True], [True, True, True]]
    for cls in SOLVERS:
        check = cls(ring, Index(0, 0), Index(2, 2))
        check.solve()
        assert check.SrcToDestDistance() == 4
    print("interrupted", flush=True)
    raise
print("finished", flush=True)
"""


@pytest.mark.posix
@pytest.mark.parametrize(("work", "delay"), INTERRUPTS,
                         ids=[f"{work}-at-{delay}s" for work, delay in INTERRUPTS])
def test_ctrl_c_ends_long_work(work, delay):
    script = CHILD.format(setup=textwrap.dedent(LONG_WORK[work]))
    child = subprocess.Popen(
        [sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
        preexec_fn=default_ctrl_c,
    )
    try:
        assert child.stdout.readline().strip() == "ready"
        time.sleep(delay)
        assert child.poll() is None, "the work ended before it could be interrupted"
        child.send_signal(signal.SIGINT)
        # Generous: the point is that the interrupt arrives at all, not how fast.
        out, err = child.communicate(timeout=120)
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert out.strip() == "interrupted", err
    assert "KeyboardInterrupt" in err
    # An unhandled KeyboardInterrupt ends the interpreter by SIGINT.
    assert child.returncode == -signal.SIGINT


@pytest.fixture(scope="module")
def mazes():
    """Per class, a maze that takes it a few milliseconds or more to solve: a braided maze, a
    small open grid for a class with a size limit, one long winding corridor for
    DepthFirstSearch."""
    braided = perfect_maze(300, 300, seed=7, loops=0.05)
    small = numpy.ones((26, 26), dtype=bool)
    mazes = {cls: (small, *corners(small)) if PROMISES[cls.__name__].max_nodes
             else (braided, *corners(braided)) for cls in SOLVERS}
    winding = serpentine(50_000)
    mazes[Corridex.DepthFirstSearch] = (winding, Index(len(winding) - 1, 0), Index(0, 0))
    return mazes


def interrupt():
    raise KeyboardInterrupt


@pytest.fixture(scope="module")
def long_routes():
    """Per class, a maze whose route takes many polls to trace, and the results a fresh solver
    gives: a winding corridor of 40 x 1000 cells for all but FloydWarshall, whose work grows
    with the cube of an open grid's side."""
    winding = serpentine(1000, width=40)
    floyd = numpy.ones((12, 12), dtype=bool)
    mazes = {cls: (winding, *corners(winding)) for cls in SOLVERS}
    mazes[Corridex.FloydWarshall] = (floyd, *corners(floyd))
    expected = {}
    for cls, maze in mazes.items():
        fresh = cls(*maze)
        fresh.solve()
        expected[cls] = snapshot(fresh)
    return mazes, expected


def landing_points(call_for, handler_for):
    """Runs call_for(k)() under at_every_poll with handler_for(k), for k = 1, 2, ... until the
    handler's kth run no longer comes (the call ended first); yields k and how the run ended:
    None, or the exception that came out."""
    for number in itertools.count(1):
        call = call_for(number)
        handler = handler_for(number)
        try:
            at_every_poll(call, handler)
            outcome = None
        except (KeyboardInterrupt, RuntimeError) as error:
            outcome = error
        if handler.runs < number:
            return
        yield number, outcome


@pytest.mark.poll_driver
@pytest.mark.posix
@pytest.mark.parametrize("cls", SOLVERS, ids=SOLVER_NAMES)
def test_an_interrupted_solve_reports_no_route(cls, long_routes):
    """Ctrl-C at every poll of a solve in turn: the solver reports no route (only the cells its
    search recorded), or, when the interrupt came after the solve, the complete results; the
    next solve() gives exactly a fresh object's results."""
    mazes, expected = long_routes
    unsolved = snapshot(cls(*mazes[cls]))
    solvers = {}
    cut_short = 0
    for number, outcome in landing_points(
        lambda number: solvers.setdefault(number, cls(*mazes[cls])).solve,
        lambda number: on_run(number, interrupt),
    ):
        assert isinstance(outcome, KeyboardInterrupt), (number, outcome)
        solver = solvers.pop(number)
        partial = snapshot(solver)
        if partial == expected[cls]:
            continue  # the interrupt came once the solve had completed
        cut_short += 1
        if cls is Corridex.FloydWarshall:
            # Its results change only once the tables are complete.
            assert partial == unsolved, f"interrupt {number}"
        else:
            assert partial[0] == [] and partial[1] == 0, f"interrupt {number}: {partial[:2]}"
            assert partial[3] == len(partial[2])
        solver.solve()
        assert snapshot(solver) == expected[cls], f"after interrupt {number}"
    assert cut_short >= 3, "too few interrupts landed inside the solve"


def called_again(solver, refused, getters):
    """A handler action: calls solve() on `solver` again and notes what it raised and what the
    getters return meanwhile, then calls __init__ on it."""

    def action():
        try:
            solver.solve()
        except RuntimeError as error:
            refused.append(str(error))
            getters.append(snapshot(solver))  # while the solve runs
        with pytest.raises(TypeError, match="object is already initialised"):
            solver.__init__([[True]], Index(0, 0), Index(0, 0))

    return action


@pytest.mark.poll_driver
@pytest.mark.posix
@pytest.mark.parametrize("cls", SOLVERS, ids=SOLVER_NAMES)
def test_solve_called_again_while_it_runs_is_refused(cls, long_routes):
    """solve() called on the same object from a signal handler while it runs raises
    RuntimeError and changes nothing: the running solve ends with exactly a fresh object's
    results. The getters and __init__ called there do not disturb it either: the getters give
    what is recorded so far, __init__ raises TypeError."""
    mazes, expected = long_routes
    solvers = {}
    refused = []
    getters = []
    refusals = set()
    landed = 0
    for number, outcome in landing_points(
        lambda number: solvers.setdefault(number, cls(*mazes[cls])).solve,
        lambda number: on_run(number, called_again(solvers[number], refused, getters)),
    ):
        assert outcome is None, (number, outcome)
        solver = solvers.pop(number)
        if refused or cls is not Corridex.FloydWarshall:  # else it came after, and appended
            assert snapshot(solver) == expected[cls], f"re-entered at poll {number}"
        landed += len(refused)
        refusals.update(refused)
        refused.clear()
    assert landed >= 3, "too few calls landed inside the solve"
    assert refusals == {"solve() is already running on this object"}
    # What the getters gave while the solve ran was the state of the moment: never a route
    # longer than the final one, never more recorded cells.
    for route, _, recorded, _ in getters:
        assert len(route) <= len(expected[cls][0]) and len(recorded) <= len(expected[cls][2])


def in_child(name):
    """Runs this file's function `name` in a fresh interpreter (this file run as a script), so
    that a crash fails the test instead of ending the run."""
    child = subprocess.run(
        [sys.executable, __file__, name], capture_output=True, text=True, timeout=300
    )
    assert child.returncode == 0, child.stderr[-3000:]


@pytest.mark.poll_driver
@pytest.mark.posix
def test_solve_called_while_a_getter_copies_the_results_is_refused():
    """A getter copying millions of cells out polls for signals; solve() called there, on an
    interrupted solver whose next solve would start over, must not free what is being read."""
    in_child("solve_while_copying_out")


def solve_while_copying_out():
    grid = numpy.ones((1200, 1200), dtype=bool)
    solver = Corridex.BreadthFirstSearch(grid, Index(0, 0), Index(1199, 1199))
    with pytest.raises(KeyboardInterrupt):
        at_every_poll(solver.solve, on_run(100, interrupt))
    recorded = solver.TraversedNodesNo()
    assert recorded > 100_000 and solver.SrcToDestPath() == []
    refused = []

    def solve_again():
        try:
            solver.solve()
        except RuntimeError as error:
            refused.append(str(error))

    visited = at_every_poll(solver.TraversedNodes, on_run(10, solve_again))
    assert refused == ["solve() cannot run on this object while one of its getters is copying "
                       "its results out"]
    assert len(visited) == recorded and visited[-1] == solver.TraversedNodes()[-1]
    solver.solve()
    fresh = Corridex.BreadthFirstSearch(grid, Index(0, 0), Index(1199, 1199))
    fresh.solve()
    assert snapshot(solver) == snapshot(fresh)


HELD_LOCK_WORK = {
    "DijkstraAlgorithm": lambda: Corridex.DijkstraAlgorithm(
        numpy.ones((1600, 1600), dtype=bool), Index(0, 0), Index(1599, 1599)
    ).solve,
    "BellmanFord": lambda: Corridex.BellmanFord(
        random_grid(600, seed=1), Index(599, 599), Index(0, 0)
    ).solve,
    "FloydWarshall": lambda: Corridex.FloydWarshall(
        numpy.ones((36, 36), dtype=bool), Index(0, 0), Index(35, 35)
    ).solve,
    "RandomMazeGenerator": lambda: Corridex.RandomMazeGenerator(3000, 3000).generate,
}


def timed(run):
    started = time.perf_counter()
    run()
    ended = time.perf_counter()
    assert ended - started > 0.05, "the work was too short to tell"
    return started, ended


@pytest.mark.parametrize("work", sorted(HELD_LOCK_WORK), ids=sorted(HELD_LOCK_WORK))
def test_long_work_holds_the_interpreter_lock(work):
    run = HELD_LOCK_WORK[work]()
    # A busy Python thread records when it runs; it cannot while the work holds the lock.
    stop = threading.Event()
    ran_at = []

    def busy():
        while not stop.is_set():
            ran_at.append(time.perf_counter())

    thread = threading.Thread(target=busy)
    thread.start()
    try:
        started, ended = timed(run)
    finally:
        stop.set()
        thread.join()
    # Were the lock let go, the thread would run every switch interval (5 ms); the work must
    # show as one long pause instead (it can start a little late and end a little early).
    pauses = [later - earlier for earlier, later in zip(ran_at, ran_at[1:])]
    assert max(pauses) > 0.5 * (ended - started), f"longest pause {max(pauses) * 1000:.1f} ms"


@pytest.mark.poll_driver
@pytest.mark.posix
@pytest.mark.linux
@pytest.mark.parametrize("work", sorted(HELD_LOCK_WORK), ids=sorted(HELD_LOCK_WORK))
def test_long_work_starts_no_thread(work):
    run = HELD_LOCK_WORK[work]()
    # A handler run at every poll of the work counts the process's threads there.
    threads_seen = []

    def count_threads():
        threads_seen.append(len(os.listdir("/proc/self/task")))

    threads_before = len(os.listdir("/proc/self/task"))
    at_every_poll(run, count_threads)
    assert len(threads_seen) > 3 and set(threads_seen) == {threads_before}


def outcome_at_poll(call, number):
    """How `call` ended when KeyboardInterrupt was raised at the `number`th check for signals
    from its start (see at_every_poll): "interrupted" when the interrupt came out of the call
    itself, "interrupted after" when the call had returned before it, "finished" when the call
    ended (or raised something else) before that check."""
    # A call that polls runs the handler inside; one that does not, only once it has returned.
    # A mark made in C as soon as the call returns, before any Python code runs, tells the two
    # apart; `call` must be a C-level callable too, or its Python frame checks for signals.
    returned = []
    handled_after_return = []

    def interrupt():
        handled_after_return.append(bool(returned))
        raise KeyboardInterrupt

    steps = map(operator.methodcaller("__call__"),
                [call, functools.partial(returned.append, True)])
    try:
        at_every_poll(functools.partial(collections.deque, steps, maxlen=0),
                      on_run(number, interrupt))
    except KeyboardInterrupt:
        return "interrupted after" if handled_after_return != [False] else "interrupted"
    except Exception:  # noqa: BLE001 - the call's own error: it ran to its end
        pass
    return "finished"


def assert_still_solves():
    ring = [[True, True, True], [True, False, True], [True, True, True]]
    for cls in SOLVERS:
        check = cls(ring, Index(0, 0), Index(2, 2))
        check.solve()
        assert check.SrcToDestDistance() == 4


@pytest.mark.poll_driver
@pytest.mark.posix
def test_ctrl_c_ends_the_conversion_of_a_tall_grid_of_short_rows():
    """Rows of three True cells are each read whole, without a per-cell poll: Ctrl-C must still
    be polled between them."""
    grid = [[True, True, True] for _ in range(2_000_000)]
    grid[-1] = None  # read to its end, the grid is refused with TypeError

    convert = functools.partial(Corridex.BreadthFirstSearch, grid, Index(0, 0), Index(1, 1))
    assert outcome_at_poll(convert, 3) == "interrupted"
    assert_still_solves()
    grid[-1] = [True, True, True]
    solver = Corridex.DepthFirstSearch(grid[:5], Index(0, 0), Index(4, 2))
    solver.solve()
    assert solver.SrcToDestDistance() == 6


# Millions of cells take minutes under an emulator.
@pytest.mark.poll_driver
@pytest.mark.posix
@pytest.mark.native
def test_ctrl_c_ends_copying_out_millions_of_visited_cells():
    """TraversedNodes() of millions of cells polls Ctrl-C while it fills the list; the solver
    stays readable and gives the whole list afterwards."""
    grid = numpy.ones((1500, 1500), dtype=bool)
    solver = Corridex.BreadthFirstSearch(grid, Index(0, 0), Index(1499, 1499))
    solver.solve()
    count = solver.TraversedNodesNo()
    sample = [repr(cell) for cell in solver.TraversedNodes()[::4999]]
    assert count > 2_000_000

    assert outcome_at_poll(solver.TraversedNodes, 3) == "interrupted"
    assert solver.TraversedNodesNo() == count
    visited = solver.TraversedNodes()
    assert len(visited) == count
    assert [repr(cell) for cell in visited[::4999]] == sample
    assert_still_solves()


@pytest.mark.poll_driver
@pytest.mark.posix
def test_generate_called_again_while_it_runs_is_refused():
    in_child("generate_while_generating")


def generate_while_generating():
    """generate() called on the same generator from a signal handler while it carves or draws
    raises RuntimeError and changes nothing: the running call returns the very maze a fresh
    generator carves after the same srand in the same clock second."""
    import ctypes

    libc = ctypes.CDLL(None)
    libc.time.argtypes = [ctypes.c_void_p]
    libc.time.restype = ctypes.c_int64
    size = 1001
    for number in (1, 2, 5, 20):
        for _ in range(5):  # until both mazes are carved within one clock second
            second = libc.time(None)  # the generator's clock, not time.time()
            generator = Corridex.RandomMazeGenerator(size, size)
            refused = []

            def again(generator=generator, refused=refused):
                try:
                    generator.generate()
                except RuntimeError as error:
                    refused.append(str(error))

            libc.srand(99)
            handler = on_run(number, again)
            grid = at_every_poll(generator.generate, handler)
            libc.srand(99)
            fresh = Corridex.RandomMazeGenerator(size, size).generate()
            if libc.time(None) == second:
                break
        assert handler.runs >= number, "the call ended before the handler's run"
        assert refused == ["generate() is already running on this object"], number
        assert grid == fresh, f"re-entered at poll {number}"


if __name__ == "__main__":
    globals()[sys.argv[1]]()  # in_child's way in
