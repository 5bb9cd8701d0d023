"""Prints one digest of every solver's results on many random mazes.

Run it against two builds (say, before and after an optimisation) and compare the digests: any
change in a traversal order, a route, a distance or a count changes the digest of that maze kind.

    python benchmarks/fingerprint.py [--mazes 300]
"""

from __future__ import annotations

import argparse
import hashlib
import pathlib
import random
import sys

import Corridex

# The maze builders and the solver list are the tests' own.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "python"))
from maze_support import SOLVERS, carved_maze, random_open_grid  # noqa: E402


def holed_maze(rng, cell_rows, cell_cols, holes):
    """A carved maze with `holes` random grid entries opened, wall corners included."""
    grid = carved_maze(rng, cell_rows, cell_cols)
    for _ in range(holes):
        grid[rng.randrange(len(grid))][rng.randrange(len(grid[0]))] = True
    return grid


def ragged_grid(rng):
    rows = [[rng.random() < 0.8 for _ in range(rng.randint(0, 30))] for _ in range(rng.randint(1, 30))]
    return rows


KINDS = {
    "open": lambda rng: random_open_grid(rng, rng.randint(1, 40), rng.randint(1, 40), 0.9),
    "sparse": lambda rng: random_open_grid(rng, rng.randint(1, 40), rng.randint(1, 40), 0.6),
    "perfect": lambda rng: carved_maze(rng, rng.randint(1, 25), rng.randint(1, 25)),
    "loops": lambda rng: holed_maze(rng, rng.randint(2, 25), rng.randint(2, 25), 40),
    "ragged": ragged_grid,
}

# Open grids of up to 700 x 700 at several fractions: queues of thousands of nodes, and at 100%
# open, ties at nearly every comparison. FloydWarshall's tables would not fit, so it sits out.
WIDE_FRACTIONS = (0.7, 0.85, 0.95, 1.0)
WIDE_KINDS = {
    f"wide{round(fraction * 100)}": (
        lambda rng, fraction=fraction: random_open_grid(
            rng, rng.randint(100, 700), rng.randint(100, 700), fraction)
    )
    for fraction in WIDE_FRACTIONS
}
WIDE_SOLVERS = [cls for cls in SOLVERS if cls is not Corridex.FloydWarshall]


def digest_of(rng, grid, hasher, solvers=SOLVERS):
    cells = [(r, c) for r, row in enumerate(grid) for c, v in enumerate(row) if v]
    if not cells:
        return
    start, end = rng.choice(cells), rng.choice(cells)
    for cls in solvers:
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
    parser.add_argument("--mazes", type=int, default=300,
                        help="mazes of each small kind (a fortieth of that, at least 2, wide)")
    args = parser.parse_args()
    wide_mazes = max(2, args.mazes // 40)
    for kinds, mazes, solvers in ((KINDS, args.mazes, SOLVERS),
                                  (WIDE_KINDS, wide_mazes, WIDE_SOLVERS)):
        for kind, make in kinds.items():
            rng = random.Random(kind)
            hasher = hashlib.sha256()
            for _ in range(mazes):
                digest_of(rng, make(rng), hasher, solvers)
            print(f"{kind:8s} {hasher.hexdigest()}", flush=True)


if __name__ == "__main__":
    main()
