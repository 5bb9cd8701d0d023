"""Grids for the tests, the benchmarks and the scripts: drawn as text, built by seeded random
recipes, and the three recipes of grid kinds that benchmarks measure on.

A grid is a list of rows of bools (True: open), or a 2-D NumPy array of bools where said. The
small builders are plain Python, seeded by a random.Random, so that their grids are the same on
every run and every platform (the fingerprint depends on it); the benchmark recipes use NumPy
and Corridex's own generator, which reach large sides quickly.
"""

from __future__ import annotations

import ctypes
import random

STEPS = ((-1, 0), (1, 0), (0, -1), (0, 1))


def grid_from_text(*rows: str) -> list[list[bool]]:
    """A grid drawn one string per row: '.' is open, anything else a wall."""
    return [[c == "." for c in row] for row in rows]


def open_cells(grid) -> list[tuple[int, int]]:
    return [(r, c) for r, row in enumerate(grid) for c, v in enumerate(row) if v]


def open_neighbours(grid, row, col):
    for dr, dc in STEPS:
        r, c = row + dr, col + dc
        if 0 <= r < len(grid) and 0 <= c < len(grid[r]) and grid[r][c]:
            yield r, c


# --- small seeded builders -------------------------------------------------------------------


def random_open_grid(rng: random.Random, rows: int, cols: int, density: float):
    """Each cell open with probability `density`."""
    return [[rng.random() < density for _ in range(cols)] for _ in range(rows)]


def carved_maze(rng: random.Random, cell_rows: int, cell_cols: int):
    """A perfect maze of cell_rows x cell_cols cells on a (2r - 1) x (2c - 1) grid: cells at even
    coordinates, passages between them, carved by randomized depth-first backtracking."""
    rows, cols = 2 * cell_rows - 1, 2 * cell_cols - 1
    grid = [[False] * cols for _ in range(rows)]
    grid[0][0] = True
    stack = [(0, 0)]
    seen = {(0, 0)}
    while stack:
        r, c = stack[-1]
        options = [
            (r + dr, c + dc)
            for dr, dc in STEPS
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
    return grid


def walls_between_cells(grid):
    """The closed passages of a maze whose cells stand at even coordinates, row by row. A
    RandomMazeGenerator grid's last row and column, outside every cell, are left out."""
    rows = len(grid) - 1 + len(grid) % 2
    cols = len(grid[0]) - 1 + len(grid[0]) % 2 if grid else 0
    return [(r, c) for r in range(rows) for c in range(cols) if (r + c) % 2 == 1 and not grid[r][c]]


def open_walls(rng: random.Random, grid, share: float):
    """Opens each closed passage with probability `share`, adding loops; returns `grid`."""
    for r, c in walls_between_cells(grid):
        if rng.random() < share:
            grid[r][c] = True
    return grid


def random_perfect_maze(rng: random.Random, cell_rows: int, cell_cols: int, loops: int = 0):
    """carved_maze with `loops` closed passages, picked at random, knocked through."""
    grid = carved_maze(rng, cell_rows, cell_cols)
    walls = walls_between_cells(grid)
    for r, c in rng.sample(walls, min(loops, len(walls))):
        grid[r][c] = True
    return grid


# --- the benchmark recipes: one per grid kind, as NumPy arrays --------------------------------
# Each takes a side and a seed and returns a side x side array. The mazes come from
# RandomMazeGenerator, seeded through libc's srand; the generator also seeds its start cell with
# the clock, so a maze repeats from one run to the next only when kept in a file.

# The share of a maze's closed passages that `maze_with_loops` opens.
LOOP_SHARE = 0.02


def _seed_generator(seed):
    try:
        ctypes.CDLL(None).srand(seed)
    except (OSError, AttributeError, TypeError):  # no C library by that name here: unseeded
        pass


def perfect_maze(side: int, seed: int):
    """A perfect maze of RandomMazeGenerator: one route between any two cells."""
    import numpy

    import Corridex

    _seed_generator(seed)
    return numpy.array(Corridex.RandomMazeGenerator(side, side).generate(), dtype=bool)


def maze_with_loops(side: int, seed: int, share: float = LOOP_SHARE):
    """perfect_maze with each closed passage between two cells opened with probability `share`
    (the rule of open_walls), so that routes start to differ."""
    import numpy

    grid = perfect_maze(side, seed)
    rows, cols = numpy.indices(grid.shape)
    inside = (rows < side - 1 + side % 2) & (cols < side - 1 + side % 2)
    passages = inside & ((rows + cols) % 2 == 1) & ~grid
    grid |= passages & (numpy.random.default_rng(seed).random(grid.shape) < share)
    return grid


def open_grid(side: int, seed: int, open_share: float):
    """Each cell open with probability `open_share` (the rule of random_open_grid), with the top
    row and the right column open so that the opposite corners are always joined."""
    import numpy

    grid = numpy.random.default_rng(seed).random((side, side)) < open_share
    grid[0, :] = True
    grid[:, -1] = True
    return grid


def recipe_ends(grid, kind: str):
    """The opposite corners a benchmark solves between: the corners themselves on an open grid,
    the cells one in from them on a generated maze (kind "perfect" or "loops"), whose last row
    and column are walls."""
    inset = 1 if kind == "open" else 2
    return (0, 0), (len(grid) - inset, len(grid[0]) - inset)
