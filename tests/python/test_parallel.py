"""Routes come back from worker processes, solvers stay in theirs, and examples/parallel.py
checks a small batch end to end."""

import concurrent.futures
import pathlib
import subprocess
import sys

import pytest

import Corridex
from Corridex import Index

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "parallel.py"


def route_and_distance(cls, grid):
    """Runs in a worker: what a solve there sends back."""
    solver = cls(grid, Index(0, 0), Index(len(grid) - 2, len(grid[0]) - 2))
    solver.solve()
    return solver.SrcToDestPath(), solver.SrcToDestDistance()


def test_routes_come_back_from_worker_processes(solver_class):
    grids = [Corridex.RandomMazeGenerator(21, 25).generate() for _ in range(4)]
    with concurrent.futures.ProcessPoolExecutor(max_workers=2) as pool:
        returned = list(pool.map(route_and_distance, [solver_class] * len(grids), grids))
    for grid, (route, distance) in zip(grids, returned):
        expected_route, expected_distance = route_and_distance(solver_class, grid)
        assert all(type(cell) is Index for cell in route)
        assert route == expected_route and distance == expected_distance


def test_a_solver_cannot_be_sent_to_a_worker():
    solver = Corridex.AStar([[True]], Index(), Index())
    with concurrent.futures.ProcessPoolExecutor(max_workers=1) as pool:
        with pytest.raises(TypeError, match="cannot pickle 'AStar' object"):
            pool.submit(id, solver).result()


def test_example_checks_a_small_batch():
    run = subprocess.run(
        [sys.executable, str(EXAMPLE), "--count", "6", "--size", "21", "--solver", "AStar"],
        capture_output=True, text=True, timeout=300, check=False,
    )
    assert run.returncode == 0, run.stdout + run.stderr
    lines = run.stdout.splitlines()
    assert lines[0] == "6 mazes of 21 x 21, AStar"
    assert "in this process" in lines[1] and "mazes/s" in lines[1]
    assert [line.split()[:3] for line in lines[2:]] == [
        ["1", "worker", "process"], ["2", "worker", "processes"]]
    assert all(line.endswith("routes match") for line in lines[2:])
