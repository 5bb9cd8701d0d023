#!/usr/bin/env python3
"""Many mazes across processes: solve a batch of generated mazes in worker processes with
concurrent.futures, check every route against a run in this process, and print the rate.

    python3 examples/parallel.py                          # 200 mazes of 61 x 61, FloydWarshall
    python3 examples/parallel.py --count 500 --size 201 --solver AStar
    python3 examples/parallel.py --workers 1 2 4

Each call runs in the calling thread with the interpreter lock held, so threads do not solve two
mazes at once; processes do. Grids go to the workers and routes come back by pickling: an Index
pickles by value, while solver objects, which own native state, refuse to be pickled (build
them in the worker, as below). Shipping costs about a microsecond per grid entry and per route
cell each way, so processes pay off when each maze takes longer to solve than that, as
FloydWarshall's do; a quick AStar over a small maze is faster in one process.
"""

from __future__ import annotations

import argparse
import concurrent.futures
import sys
import time
from typing import List, Sequence, Tuple

try:
    import Corridex
    from Corridex import Index
except ModuleNotFoundError as missing:
    if missing.name != "Corridex":
        raise
    sys.exit(f"{sys.executable} has no Corridex: run this with a Python that has it, such as the "
             "one `bash scripts/demo.sh` installs it for, "
             "${XDG_CACHE_HOME:-~/.cache}/corridex/demo-venv/bin/python (see README.md, The demo)")

Grid = List[List[bool]]
Result = Tuple[List[Index], int]
# The module's solver classes, in the order it registers them: the classes that solve().
SOLVER_NAMES = [name for name, value in vars(Corridex).items()
                if isinstance(value, type) and hasattr(value, "solve")]


def corners(grid: Grid) -> Tuple[Index, Index]:
    """The first and the last cell of a generated maze (its last row and column are walls)."""
    return Index(0, 0), Index(len(grid) - 2, len(grid[0]) - 2)


def solve(task: Tuple[str, Grid]) -> Result:
    """Runs in a worker: the route (a list of Index, end to start) and its length."""
    solver_name, grid = task
    solver = getattr(Corridex, solver_name)(grid, *corners(grid))
    solver.solve()
    return solver.SrcToDestPath(), solver.SrcToDestDistance()


def solve_here(tasks: Sequence[Tuple[str, Grid]]) -> Tuple[List[Result], float]:
    started = time.perf_counter()
    results = [solve(task) for task in tasks]
    return results, time.perf_counter() - started


def solve_in_workers(tasks: Sequence[Tuple[str, Grid]], workers: int) -> Tuple[List[Result], float]:
    """Results in task order and the seconds they took, not counting the workers' start-up."""
    with concurrent.futures.ProcessPoolExecutor(max_workers=workers) as pool:
        list(pool.map(abs, range(workers)))  # every worker started before the clock runs
        started = time.perf_counter()
        chunk = max(1, len(tasks) // (4 * workers))
        results = list(pool.map(solve, tasks, chunksize=chunk))
        return results, time.perf_counter() - started


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=200, help="mazes in the batch")
    parser.add_argument("--size", type=int, default=61, help="width and hight of each maze")
    parser.add_argument("--solver", default="FloydWarshall", choices=SOLVER_NAMES)
    parser.add_argument("--workers", type=int, nargs="+", default=[1, 2],
                        help="worker process counts to time")
    args = parser.parse_args(argv)
    if args.size < 4 or args.count < 1 or min(args.workers) < 1:
        parser.error("needs --size 4 or more, --count 1 or more and at least one worker")

    grids = [Corridex.RandomMazeGenerator(args.size, args.size).generate()
             for _ in range(args.count)]
    tasks = [(args.solver, grid) for grid in grids]
    print(f"{args.count} mazes of {args.size} x {args.size}, {args.solver}")

    expected, took = solve_here(tasks)
    print(f"  in this process      {args.count / took:9.1f} mazes/s")
    matched = True
    for workers in args.workers:
        results, took = solve_in_workers(tasks, workers)
        # Index compares field by field, so the lists compare cell by cell.
        same = all(route == want_route and distance == want_distance
                   for (route, distance), (want_route, want_distance) in zip(results, expected))
        same = same and len(results) == len(expected)
        matched = matched and same
        plural = "process" if workers == 1 else "processes"
        verdict = "routes match" if same else "ROUTES DIFFER from this process's"
        print(f"  {workers:2} worker {plural:9} {args.count / took:9.1f} mazes/s   {verdict}")
    return 0 if matched else 1


if __name__ == "__main__":
    sys.exit(main())
