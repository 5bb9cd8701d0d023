#!/usr/bin/env python3
"""Load test: solves many random mazes of mixed sizes with every solver and checks every result.

Each maze comes from RandomMazeGenerator (seeded by the clock, so mazes differ between runs);
--seed fixes the sizes, the start and end cells and the extra openings that add loops. Every
result is checked against what must hold whatever the maze: routes chained by single steps
without repeats between the right cells, each class's distance relation, BreadthFirstSearch,
BellmanFord and FloydWarshall distances equal to a plain grid BFS, and unreachable ends
reported as such. Prints mazes per second and the largest resident size; exits 1 on any
broken invariant.

    python3 scripts/stress.py --count 3000 --sizes 2,4,8,16,32 --seed 1
"""

import argparse
import collections
import random
import resource
import sys
import time

import Corridex
from corridex_support.checks import broken_invariants, solved, steps_between
from corridex_support.grids import open_cells, open_walls
from corridex_support.promises import SOLVERS


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=2000, help="mazes to solve (default 2000)")
    parser.add_argument(
        "--sizes",
        default="2,4,8,16,32",
        help="comma-separated maze sides in cells; each maze takes two at random (default "
        "2,4,8,16,32)",
    )
    parser.add_argument("--seed", type=int, default=1, help="seed for sizes, ends and loops")
    parser.add_argument(
        "--time-limit", type=float, default=0, help="stop after this many seconds (0: no limit)"
    )
    parser.add_argument(
        "--loops", type=float, default=0.05, help="share of inner walls opened (default 0.05)"
    )
    parser.add_argument(
        "--floyd-max-cells",
        type=int,
        default=16 * 16,
        help="skip FloydWarshall, whose work grows as the cube of the nodes, on mazes of more "
        "cells than this (default 256)",
    )
    args = parser.parse_args(argv)
    args.sizes = [int(size) for size in args.sizes.split(",")]
    if min(args.sizes) < 1 or args.count < 1:
        parser.error("--count and every size must be at least 1")
    return args


def make_maze(rng, sizes, loops):
    """A generated maze with some walls between cells opened, and two open cells."""
    cell_rows, cell_cols = rng.choice(sizes), rng.choice(sizes)
    grid = open_walls(rng, Corridex.RandomMazeGenerator(2 * cell_rows, 2 * cell_cols).generate(),
                      loops)
    free = open_cells(grid)
    start, end = rng.choice(free), rng.choice(free)
    return grid, start, end, cell_rows * cell_cols


def main(argv=None):
    args = parse_args(argv)
    rng = random.Random(args.seed)
    failures = collections.Counter()
    solves = 0
    mazes = 0
    started = time.monotonic()
    while mazes < args.count:
        if args.time_limit and time.monotonic() - started > args.time_limit:
            break
        grid, start, end, cells = make_maze(rng, args.sizes, args.loops)
        shortest = steps_between(grid, start, end)
        for cls in SOLVERS:
            if cls is Corridex.FloydWarshall and cells > args.floyd_max_cells:
                continue
            solver = solved(cls, grid, start, end)
            for what in broken_invariants(solver, grid, start, end, shortest):
                failures[(cls.__name__, what)] += 1
                if sum(failures.values()) <= 10:
                    print(f"{cls.__name__}: {what}: start {start}, end {end}, grid {grid}",
                          file=sys.stderr)
            solves += 1
        mazes += 1
    elapsed = time.monotonic() - started
    peak_mib = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(f"{mazes} mazes ({solves} solves) in {elapsed:.1f} s: {mazes / elapsed:.1f} mazes/s, "
          f"{solves / elapsed:.1f} solves/s; largest resident size {peak_mib:.1f} MiB")
    for (name, what), times in sorted(failures.items()):
        print(f"FAILED {name}: {what} ({times} times)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
