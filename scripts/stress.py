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
from Corridex import Index

SOLVERS = (
    Corridex.DepthFirstSearch,
    Corridex.BreadthFirstSearch,
    Corridex.DijkstraAlgorithm,
    Corridex.AStar,
    Corridex.BellmanFord,
    Corridex.FloydWarshall,
)


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
    grid = Corridex.RandomMazeGenerator(2 * cell_rows, 2 * cell_cols).generate()
    for r in range(len(grid) - 1):
        for c in range(len(grid[0]) - 1):
            if (r + c) % 2 == 1 and not grid[r][c] and rng.random() < loops:
                grid[r][c] = True
    open_cells = [(r, c) for r, row in enumerate(grid) for c, cell in enumerate(row) if cell]
    start, end = rng.choice(open_cells), rng.choice(open_cells)
    return grid, start, end, cell_rows * cell_cols


def fewest_steps(grid, start, end):
    """Single steps from start to end by a plain grid BFS, or None when unreachable."""
    rows, cols = len(grid), len(grid[0])
    steps = {start: 0}
    queue = collections.deque([start])
    while queue:
        r, c = cell = queue.popleft()
        if cell == end:
            return steps[cell]
        for nr, nc in ((r - 1, c), (r + 1, c), (r, c - 1), (r, c + 1)):
            if 0 <= nr < rows and 0 <= nc < cols and grid[nr][nc] and (nr, nc) not in steps:
                steps[(nr, nc)] = steps[cell] + 1
                queue.append((nr, nc))
    return None


def broken_invariants(cls, grid, start, end, reference):
    """Solves one maze with one class; returns the invariants its results break."""
    solver = cls(grid, Index(*start), Index(*end))
    solver.solve()
    path = [(i.row, i.col) for i in solver.SrcToDestPath()]
    traversed = [(i.row, i.col) for i in solver.TraversedNodes()]
    distance = solver.SrcToDestDistance()
    count = solver.TraversedNodesNo()
    broken = []

    def require(holds, what):
        if not holds:
            broken.append(what)

    floyd = cls is Corridex.FloydWarshall
    require(count == (len(traversed) ** 3 if floyd else len(traversed)), "TraversedNodesNo")
    if reference is None:
        unreached = [end] if cls is Corridex.BreadthFirstSearch else []
        require(path == unreached and distance == 0, "a route to an unreachable end")
        return broken
    steps = len(path) - 1
    first, last = (start, end) if floyd else (end, start)
    require(bool(path) and path[0] == first and path[-1] == last, "route ends")
    require(all(grid[r][c] for r, c in path), "route through a wall")
    require(
        all(abs(a[0] - b[0]) + abs(a[1] - b[1]) == 1 for a, b in zip(path, path[1:])),
        "route steps not single",
    )
    require(len(set(path)) == len(path), "route repeats a cell")
    if cls in (Corridex.BreadthFirstSearch, Corridex.BellmanFord, Corridex.FloydWarshall):
        require(distance == steps == reference, "distance not the fewest steps")
    elif cls is Corridex.DepthFirstSearch:
        require(distance == steps >= reference, "distance not the route's length")
    else:
        require(distance >= steps >= reference, "distance below the route's length")
    if cls in (Corridex.DepthFirstSearch, Corridex.BreadthFirstSearch, Corridex.DijkstraAlgorithm,
               Corridex.AStar):
        require(len(set(traversed)) == len(traversed), "a node recorded twice")
    return broken


def main(argv=None):
    args = parse_args(argv)
    if not hasattr(Corridex, "RandomMazeGenerator"):
        sys.exit("this build of Corridex has no RandomMazeGenerator")
    rng = random.Random(args.seed)
    failures = collections.Counter()
    solves = 0
    mazes = 0
    started = time.monotonic()
    while mazes < args.count:
        if args.time_limit and time.monotonic() - started > args.time_limit:
            break
        grid, start, end, cells = make_maze(rng, args.sizes, args.loops)
        reference = fewest_steps(grid, start, end)
        for cls in SOLVERS:
            if cls is Corridex.FloydWarshall and cells > args.floyd_max_cells:
                continue
            for what in broken_invariants(cls, grid, start, end, reference):
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
