"""One digest of every solver's results on many random mazes of each kind.

Any change in a traversal order, a route, a distance or a count changes the digest of that maze
kind. tests/python/test_fingerprint.py compares this build's digests with the ones every build
must give, scripts/platforms/fingerprint.txt, in every test run; after a deliberate change of
results, rewrite that file with

    python -m pytest tests/python/test_fingerprint.py --update-fingerprint
"""

from __future__ import annotations

import hashlib
import random

import Corridex

from .grids import carved_maze, random_open_grid
from .promises import SOLVERS, UNLIMITED

MAZES_PER_KIND = 300


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
# open, ties at nearly every comparison. A solver with a size limit (FloydWarshall's tables would
# not fit) sits out.
WIDE_FRACTIONS = (0.7, 0.85, 0.95, 1.0)
WIDE_KINDS = {
    f"wide{round(fraction * 100)}": (
        lambda rng, fraction=fraction: random_open_grid(
            rng, rng.randint(100, 700), rng.randint(100, 700), fraction)
    )
    for fraction in WIDE_FRACTIONS
}
WIDE_SOLVERS = UNLIMITED
WIDE_MAZES = 7


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


# Every kind with its maze count and the solvers that run on it.
PLAN = {
    **{kind: (make, MAZES_PER_KIND, SOLVERS) for kind, make in KINDS.items()},
    **{kind: (make, WIDE_MAZES, WIDE_SOLVERS) for kind, make in WIDE_KINDS.items()},
}


def digest(kind):
    """The hex digest of its solvers' results on the random mazes of `kind`."""
    make, mazes, solvers = PLAN[kind]
    rng = random.Random(kind)
    hasher = hashlib.sha256()
    for _ in range(mazes):
        digest_of(rng, make(rng), hasher, solvers)
    return hasher.hexdigest()
