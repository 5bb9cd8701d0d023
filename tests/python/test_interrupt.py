"""Long work stays under the user's control.

Ctrl-C during a long solve(), generate() or grid conversion ends it with KeyboardInterrupt; the
interrupted object stays readable and reports no route, and the process carries on. (That a
later solve() starts over is the core's to test, in tests/cpp.)
"""

import collections
import functools
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
from corridex_support.reliability import corners, perfect_maze, random_grid, serpentine


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


def interrupted_solver(cls, maze, seconds):
    """A solver whose solve() a timer interrupted `seconds` in; None when the solve finished
    first."""

    def interrupt(signum, frame):
        raise KeyboardInterrupt

    solver = cls(*maze)
    previous = signal.signal(signal.SIGALRM, interrupt)
    try:
        signal.setitimer(signal.ITIMER_REAL, seconds)
        solver.solve()
    except KeyboardInterrupt:
        return solver
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    return None


@pytest.mark.posix
@pytest.mark.parametrize("cls", SOLVERS, ids=SOLVER_NAMES)
def test_an_interrupted_solve_reports_no_route(cls, mazes):
    maze = mazes[cls]
    fresh = cls(*maze)
    started = time.perf_counter()
    fresh.solve()
    took = time.perf_counter() - started
    expected = snapshot(fresh)

    # The interrupt must land inside the solve, part way through the search; try earlier if
    # the machine was quicker.
    for share in (0.3, 0.1, 0.03):
        solver = interrupted_solver(cls, maze, took * share)
        if solver is not None and solver.TraversedNodesNo() < expected[3]:
            break
    else:
        pytest.fail(f"no interrupt landed inside a {took * 1000:.1f} ms solve")

    # Readable, and no route reported from a search cut short.
    partial = snapshot(solver)
    assert partial[0] == [] and partial[1] == 0
    assert PROMISES[cls.__name__].count == "cube" or partial[3] == len(partial[2])


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


@pytest.mark.posix
@pytest.mark.linux
@pytest.mark.parametrize("work", sorted(HELD_LOCK_WORK), ids=sorted(HELD_LOCK_WORK))
def test_long_work_starts_no_thread(work):
    run = HELD_LOCK_WORK[work]()
    # A timer's handler runs at the work's polls and counts the process's threads there.
    threads_seen = []
    previous = signal.signal(
        signal.SIGALRM, lambda *_: threads_seen.append(len(os.listdir("/proc/self/task")))
    )
    threads_before = len(os.listdir("/proc/self/task"))
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.01, 0.01)
        timed(run)
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert threads_seen and set(threads_seen) == {threads_before}


def outcome_under_timer(call, seconds):
    """How `call` ended when a timer raised KeyboardInterrupt `seconds` in: "interrupted" when
    the interrupt came out of the call itself, "interrupted after" when the call finished (or
    raised something else) and the interrupt was only raised once it had returned, "finished"
    when the timer never fired."""
    # The interpreter runs a Python signal handler where it next can: inside the call only if
    # the call polls for it, else right after the call. A mark made in C as soon as the call
    # returns, before any Python code runs, tells the two apart.
    returned = []
    steps = [call, functools.partial(returned.append, True)]
    handled_after_return = []

    def interrupt(signum, frame):
        handled_after_return.append(bool(returned))
        raise KeyboardInterrupt

    previous = signal.signal(signal.SIGALRM, interrupt)
    outcome = "finished"
    try:
        try:
            signal.setitimer(signal.ITIMER_REAL, seconds)
            collections.deque(map(operator.methodcaller("__call__"), steps), maxlen=0)
            # A signal that came during the call has been handled by now; one still to come
            # would only say that the call was quicker than the timer.
            signal.setitimer(signal.ITIMER_REAL, 0)
        except KeyboardInterrupt as error:
            late = error.__context__ is not None or handled_after_return != [False]
            outcome = "interrupted after" if late else "interrupted"
        except Exception:  # noqa: BLE001 - the call's own error: it ran to its end
            signal.setitimer(signal.ITIMER_REAL, 0)
        for _ in range(100):  # a handler still pending runs here
            pass
    except KeyboardInterrupt:
        outcome = "interrupted after"
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    return outcome


def interrupted_part_way(call):
    """Interrupts `call` part way through, trying earlier if the machine was quicker than it
    was when `call` was timed; the outcome of the last try."""
    started = time.perf_counter()
    try:
        call()
    except TypeError:
        pass
    took = time.perf_counter() - started
    for share in (0.3, 0.1, 0.03):
        outcome = outcome_under_timer(call, took * share)
        if outcome != "finished":
            return outcome
    return outcome


def assert_still_solves():
    ring = [[True, True, True], [True, False, True], [True, True, True]]
    for cls in SOLVERS:
        check = cls(ring, Index(0, 0), Index(2, 2))
        check.solve()
        assert check.SrcToDestDistance() == 4


@pytest.mark.posix
def test_ctrl_c_ends_the_conversion_of_a_tall_grid_of_short_rows():
    """Rows of three True cells are each read whole, without a per-cell poll: Ctrl-C must still
    be polled between them."""
    grid = [[True, True, True] for _ in range(2_000_000)]
    grid[-1] = None  # read to its end, the grid is refused with TypeError

    def convert():
        Corridex.BreadthFirstSearch(grid, Index(0, 0), Index(1, 1))

    assert interrupted_part_way(convert) == "interrupted"
    assert_still_solves()
    grid[-1] = [True, True, True]
    solver = Corridex.DepthFirstSearch(grid[:5], Index(0, 0), Index(4, 2))
    solver.solve()
    assert solver.SrcToDestDistance() == 6


# Under qemu the timer's signal can reach the emulated process only once the call has returned.
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

    assert interrupted_part_way(solver.TraversedNodes) == "interrupted"
    assert solver.TraversedNodesNo() == count
    visited = solver.TraversedNodes()
    assert len(visited) == count
    assert [repr(cell) for cell in visited[::4999]] == sample
    assert_still_solves()
