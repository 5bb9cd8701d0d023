"""Prints one digest of every solver's results on many random mazes.

Run it against two builds (say, before and after an optimisation) and compare the digests: any
change in a traversal order, a route, a distance or a count changes the digest of that maze kind.

    python benchmarks/fingerprint.py [--mazes 300]
"""

from __future__ import annotations

import argparse
import hashlib
import random

import Corridex

SOLVERS = [
    Corridex.DepthFirstSearch,
    Corridex.BreadthFirstSearch,
    Corridex.DijkstraAlgorithm,
    Corridex.AStar,
    Corridex.BellmanFord,
    Corridex.FloydWarshall,
]


def open_grid(rng, rows, cols, density):
    return [[rng.random() < density for _ in range(cols)] for _ in range(rows)]


def carved_maze(rng, cell_rows, cell_cols, loops):
    rows, cols = 2 * cell_rows - 1, 2 * cell_cols - 1
    grid = [[False] * cols for _ in range(rows)]
    grid[0][0] = True
    stack, seen = [(0, 0)], {(0, 0)}
    while stack:
        r, c = stack[-1]
        options = [
            (r + dr, c + dc)
            for dr, dc in ((-1, 0), (1, 0), (0, -1), (0, 1))
            if 0 <= r + dr < cell_rows and 0 <= c + dc < cell_cols and (r + dr, c + dc) not in seen
        ]
        if not options:
            stack.pop()
            continue
        nr, nc = rng.choice(options)
        seen.add((nr, nc))
        grid[r + nr][c + nc] = True
        grid[2 * nr][2 * nc] = True
        stack.append((nr, nc))
    for _ in range(loops):
        r, c = rng.randrange(rows), rng.randrange(cols)
        grid[r][c] = True
    return grid


def ragged_grid(rng):
    rows = [[rng.random() < 0.8 for _ in range(rng.randint(0, 30))] for _ in range(rng.randint(1, 30))]
    return rows


KINDS = {
    "open": lambda rng: open_grid(rng, rng.randint(1, 40), rng.randint(1, 40), 0.9),
    "sparse": lambda rng: open_grid(rng, rng.randint(1, 40), rng.randint(1, 40), 0.6),
    "perfect": lambda rng: carved_maze(rng, rng.randint(1, 25), rng.randint(1, 25), 0),
    "loops": lambda rng: carved_maze(rng, rng.randint(2, 25), rng.randint(2, 25), 40),
    "ragged": ragged_grid,
}


def digest_of(rng, grid, hasher):
    cells = [(r, c) for r, row in enumerate(grid) for c, v in enumerate(row) if v]
    if not cells:
        return
    start, end = rng.choice(cells), rng.choice(cells)
    for cls in SOLVERS:
        solver = cls(grid, Corridex.Index(*start), Corridex.Index(*end))
        hasher.update(cls.__name__.encode())
        try:
            solver.solve()
        except ValueError as error:  # an end beyond the first row's width has no corridor node
            hasher.update(str(error).encode())
            continue
        hasher.update(repr(solver.TraversedNodes()).encode())
        hasher.update(repr(solver.SrcToDestPath()).encode())
        hasher.update(f"{solver.SrcToDestDistance()} {solver.TraversedNodesNo()}".encode())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mazes", type=int, default=300, help="mazes of each kind")
    args = parser.parse_args()
    for kind, make in KINDS.items():
        rng = random.Random(kind)
        hasher = hashlib.sha256()
        for _ in range(args.mazes):
            digest_of(rng, make(rng), hasher)
        print(f"{kind:8s} {hasher.hexdigest()}")


if __name__ == "__main__":
    main()
