"""The mazes of the interrupt and memory tests (NumPy needed).

The mazes are built here, independently of RandomMazeGenerator, so that these tests do not
depend on it and are the same on every run.
"""

from __future__ import annotations

import random

import numpy
from Corridex import Index

from .grids import carved_maze, open_walls


def perfect_maze(cell_rows, cell_cols, seed, loops=0.0):
    """A random maze of cell_rows x cell_cols cells drawn on a (2r - 1) x (2c - 1) grid (see
    carved_maze); a share `loops` of the remaining walls between cells is opened afterwards,
    adding loops."""
    rng = random.Random(seed)
    return open_walls(rng, carved_maze(rng, cell_rows, cell_cols), loops)


def serpentine(corridors, width=3):
    """Open rows of `width` cells joined at alternate ends into one winding corridor, as a NumPy
    array. From the bottom row, each BellmanFord pass climbs about one row against the order in
    which it relaxes, so it makes about one pass per corridor."""
    grid = numpy.zeros((2 * corridors - 1, width), dtype=bool)
    grid[0::2, :] = True
    grid[1::4, width - 1] = True
    grid[3::4, 0] = True
    return grid


def random_grid(side, seed, open_share=0.7):
    """A square NumPy grid of independently open cells, its corners and their neighbours open.
    With the start at the bottom-right corner, BellmanFord improves each node many times: a few
    seconds at 1500."""
    grid = numpy.random.default_rng(seed).random((side, side)) < open_share
    for row, col in ((0, 0), (0, 1), (1, 0)):
        grid[row, col] = grid[side - 1 - row, side - 1 - col] = True
    return grid


def corners(grid):
    """The top-left and bottom-right cells."""
    return Index(0, 0), Index(len(grid) - 1, len(grid[0]) - 1)
