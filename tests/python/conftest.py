"""Shared helpers for the Corridex tests: grids drawn as text, random mazes, reference searches."""

from __future__ import annotations

import collections
import random

import pytest

import Corridex

SOLVER_NAMES = [
    "DepthFirstSearch",
    "BreadthFirstSearch",
    "DijkstraAlgorithm",
    "AStar",
    "BellmanFord",
    "FloydWarshall",
]
SOLVERS = [getattr(Corridex, name) for name in SOLVER_NAMES]
# The classes that rebuild their route from the end node, end cell first.
END_FIRST = [cls for cls in SOLVERS if cls is not Corridex.FloydWarshall]


def grid_from_text(*rows: str) -> list[list[bool]]:
    """A grid drawn one string per row: '.' is open, anything else a wall."""
    return [[c == "." for c in row] for row in rows]


def cells(indices) -> list[tuple[int, int]]:
    """Index objects as (row, col) pairs, for comparisons and readable failures."""
    return [(i.row, i.col) for i in indices]


def solved(cls, grid, start, end):
    solver = cls(grid, Corridex.Index(*start), Corridex.Index(*end))
    solver.solve()
    return solver


def open_neighbours(grid, row, col):
    for dr, dc in ((-1, 0), (1, 0), (0, -1), (0, 1)):
        r, c = row + dr, col + dc
        if 0 <= r < len(grid) and 0 <= c < len(grid[r]) and grid[r][c]:
            yield r, c


def steps_between(grid, start, end):
    """Fewest single-cell steps from start to end on a rectangular grid, or None."""
    if not grid[start[0]][start[1]]:
        return None
    seen = {start: 0}
    queue = collections.deque([start])
    while queue:
        cell = queue.popleft()
        if cell == end:
            return seen[cell]
        for nxt in open_neighbours(grid, *cell):
            if nxt not in seen:
                seen[nxt] = seen[cell] + 1
                queue.append(nxt)
    return None


def random_open_grid(rng: random.Random, rows: int, cols: int, density: float):
    return [[rng.random() < density for _ in range(cols)] for _ in range(rows)]


def random_perfect_maze(rng: random.Random, cell_rows: int, cell_cols: int, loops: int = 0):
    """A (2r-1) x (2c-1) grid whose open cells form a tree, by randomized depth-first carving;
    `loops` extra walls between two cells are then knocked through."""
    rows, cols = 2 * cell_rows - 1, 2 * cell_cols - 1
    grid = [[False] * cols for _ in range(rows)]
    grid[0][0] = True
    stack = [(0, 0)]
    seen = {(0, 0)}
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
    walls = [
        (r, c)
        for r in range(rows)
        for c in range(cols)
        if not grid[r][c] and (r % 2) != (c % 2)
    ]
    for r, c in rng.sample(walls, min(loops, len(walls))):
        grid[r][c] = True
    return grid


@pytest.fixture(params=SOLVERS, ids=SOLVER_NAMES)
def solver_class(request):
    return request.param


@pytest.fixture(params=END_FIRST, ids=[cls.__name__ for cls in END_FIRST])
def end_first_class(request):
    return request.param
