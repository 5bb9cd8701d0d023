"""Long work stays under the user's control.

Ctrl-C during a long solve() or generate() ends it with KeyboardInterrupt within a second; the
interrupted object stays readable, and a later solve() on it starts over and gives exactly the
results of a fresh object.
"""

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
from reliability_mazes import (
    SOLVER_IDS,
    SOLVERS,
    corners,
    perfect_maze,
    random_grid,
    serpentine,
    snapshot,
)

HERE = os.path.dirname(os.path.abspath(__file__))

# Each child sets up work that runs for several seconds, then runs it and re-raises the
# KeyboardInterrupt after reading the interrupted object. `solver` is None when there is none.
LONG_WORK = {
    "FloydWarshall": """
        grid = numpy.ones((60, 60), dtype=bool)
        solver = Corridex.FloydWarshall(grid, Index(0, 0), Index(59, 59))
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
}

CHILD = """
import sys
sys.path.insert(0, {here!r})
import numpy
import Corridex
from Corridex import Index
from reliability_mazes import random_grid
{setup}
print("ready", flush=True)
try:
    work()
except KeyboardInterrupt:
    if solver is not None:
        # Cheap reads only: the time to exit is measured from outside.
        assert solver.SrcToDestPath() == [] and solver.SrcToDestDistance() == 0
        assert solver.TraversedNodesNo() >= 0
    print("interrupted", flush=True)
    raise
print("finished", flush=True)
"""


@pytest.mark.parametrize("work", sorted(LONG_WORK), ids=sorted(LONG_WORK))
def test_ctrl_c_ends_long_work_within_a_second(work):
    if work == "RandomMazeGenerator" and not hasattr(Corridex, "RandomMazeGenerator"):
        pytest.skip("this build has no RandomMazeGenerator")
    script = CHILD.format(here=HERE, setup=textwrap.dedent(LONG_WORK[work]))
    child = subprocess.Popen(
        [sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True
    )
    try:
        assert child.stdout.readline().strip() == "ready"
        time.sleep(0.3)
        assert child.poll() is None, "the work ended before it could be interrupted"
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=30)
        took = time.monotonic() - sent
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert out.strip() == "interrupted", err
    assert "KeyboardInterrupt" in err
    # An unhandled KeyboardInterrupt ends the interpreter by SIGINT.
    assert child.returncode == -signal.SIGINT
    assert took < 1.0, f"exited {took:.2f} s after Ctrl-C"


@pytest.fixture(scope="module")
def mazes():
    """Per class, a maze that takes it a few milliseconds or more to solve."""
    braided = perfect_maze(300, 300, seed=7, loops=0.05)
    winding = serpentine(50_000)
    floyd = numpy.ones((26, 26), dtype=bool)
    return {
        Corridex.DepthFirstSearch: (winding, Index(len(winding) - 1, 0), Index(0, 0)),
        Corridex.BreadthFirstSearch: (braided, *corners(braided)),
        Corridex.DijkstraAlgorithm: (braided, *corners(braided)),
        Corridex.AStar: (braided, *corners(braided)),
        Corridex.BellmanFord: (braided, *corners(braided)),
        Corridex.FloydWarshall: (floyd, *corners(floyd)),
    }


def interrupted_solver(cls, maze, seconds):
    """A solver whose solve() a timer interrupted `seconds` in, and how late the interrupt came;
    None when the solve finished first."""
    caught = []

    def interrupt(signum, frame):
        caught.append(time.perf_counter())
        raise KeyboardInterrupt

    solver = cls(*maze)
    previous = signal.signal(signal.SIGALRM, interrupt)
    try:
        started = time.perf_counter()
        signal.setitimer(signal.ITIMER_REAL, seconds)
        solver.solve()
    except KeyboardInterrupt:
        return solver, caught[0] - started - seconds
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    return None


@pytest.mark.parametrize("cls", SOLVERS, ids=SOLVER_IDS)
def test_a_solve_after_an_interrupted_one_starts_over(cls, mazes):
    maze = mazes[cls]
    fresh = cls(*maze)
    started = time.perf_counter()
    fresh.solve()
    took = time.perf_counter() - started
    expected = snapshot(fresh)

    # The interrupt must land inside the solve; try earlier if the machine was quicker.
    for share in (0.3, 0.1, 0.03):
        outcome = interrupted_solver(cls, maze, took * share)
        if outcome is not None and outcome[0].TraversedNodesNo() < expected[3]:
            break
    else:
        pytest.fail(f"no interrupt landed inside a {took * 1000:.1f} ms solve")
    solver, late = outcome
    assert late < 0.25, f"the interrupt took effect {late * 1000:.0f} ms late"

    # Readable, and no route reported from a search cut short.
    partial = snapshot(solver)
    assert partial[0] == [] and partial[1] == 0
    assert cls is Corridex.FloydWarshall or partial[3] == len(partial[2])

    solver.solve()
    assert snapshot(solver) == expected
    if cls is not Corridex.FloydWarshall:
        # A completed solve is final.
        solver.solve()
        assert snapshot(solver) == expected


@pytest.mark.parametrize("cls", SOLVERS, ids=SOLVER_IDS)
def test_a_rejected_solve_changes_nothing(cls):
    solver = cls([[True, False]], Index(0, 0), Index(0, 1))
    for _ in range(2):
        with pytest.raises(ValueError, match="end 0,1 is not an open cell"):
            solver.solve()
    assert snapshot(solver) == ([], 0, [], 0)


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
    if work == "RandomMazeGenerator" and not hasattr(Corridex, "RandomMazeGenerator"):
        pytest.skip("this build has no RandomMazeGenerator")
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


@pytest.mark.parametrize("work", sorted(HELD_LOCK_WORK), ids=sorted(HELD_LOCK_WORK))
def test_long_work_starts_no_thread(work):
    if work == "RandomMazeGenerator" and not hasattr(Corridex, "RandomMazeGenerator"):
        pytest.skip("this build has no RandomMazeGenerator")
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
