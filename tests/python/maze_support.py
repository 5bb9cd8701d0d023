"""What the Python tests, scripts/stress.py and the benchmarks share: the solver classes and
what each promises, grids drawn as text, random maze builders, a reference grid search and the
invariants every solver's results keep on any maze.

Plain Python and Corridex only (no pytest, no NumPy), so that the scripts can import it too:
they put this folder on sys.path.
"""

from __future__ import annotations

import collections
import random
import signal
from typing import NamedTuple

import Corridex


class Promises(NamedTuple):
    """What one solver promises about its results; tests/support/solver_promises.hpp holds the
    same table, column for column, for the C++ checks.

    graph: "cell" or "corridor", the graph searched (and so the cells of a ragged grid read).
    route: "end-first" or "start-first", the end SrcToDestPath starts from.
    distance: "fewest" (always the fewest steps), "route-length" (the route's own length) or
        "at-least-route" (never below the route's length), when the end is reached.
    unreached: "empty" or "end-alone", the route left when the end cannot be reached.
    recorded: "start-first" (each cell once, the start first), "never-start" (cells whose
        distance improved, repeats possible, never the start) or "every-node" (each node of the
        graph once, in row-major order).
    count: "recorded" or "cube", TraversedNodesNo as the number of recorded cells or its cube
        modulo 2**64.
    second_solve: "same" or "appends", what a second solve() does to the results.
    max_nodes: the checks skip graphs larger than this (0: no limit).
    """

    graph: str
    route: str
    distance: str
    unreached: str
    recorded: str
    count: str
    second_solve: str
    max_nodes: int


# One row per solver class, in the order the module registers them.
PROMISES = {
    "DepthFirstSearch": Promises("corridor", "end-first", "route-length",
                                 "empty", "start-first", "recorded", "same", 0),
    "BreadthFirstSearch": Promises("cell", "end-first", "fewest",
                                   "end-alone", "start-first", "recorded", "same", 0),
    "DijkstraAlgorithm": Promises("corridor", "end-first", "at-least-route",
                                  "empty", "start-first", "recorded", "same", 0),
    "AStar": Promises("corridor", "end-first", "at-least-route",
                      "empty", "start-first", "recorded", "same", 0),
    "BellmanFord": Promises("corridor", "end-first", "fewest",
                            "empty", "never-start", "recorded", "same", 0),
    "FloydWarshall": Promises("corridor", "start-first", "fewest",
                              "empty", "every-node", "cube", "appends", 48),
}

SOLVER_NAMES = list(PROMISES)
SOLVERS = [getattr(Corridex, name) for name in SOLVER_NAMES]
# The classes that rebuild their route from the end node, end cell first.
END_FIRST = [cls for cls in SOLVERS if PROMISES[cls.__name__].route == "end-first"]
# The classes whose route is always a shortest one.
SHORTEST = tuple(cls for cls in SOLVERS if PROMISES[cls.__name__].distance == "fewest")
# The classes that take any size of maze.
UNLIMITED = [cls for cls in SOLVERS if not PROMISES[cls.__name__].max_nodes]

STEPS = ((-1, 0), (1, 0), (0, -1), (0, 1))


def grid_from_text(*rows: str) -> list[list[bool]]:
    """A grid drawn one string per row: '.' is open, anything else a wall."""
    return [[c == "." for c in row] for row in rows]


def cells(indices) -> list[tuple[int, int]]:
    """Index objects as (row, col) pairs, for comparisons and readable failures."""
    return [(i.row, i.col) for i in indices]


def open_cells(grid) -> list[tuple[int, int]]:
    return [(r, c) for r, row in enumerate(grid) for c, v in enumerate(row) if v]


def solved(cls, grid, start, end):
    """A `cls` solver of `grid` between two (row, col) cells, after its solve()."""
    solver = cls(grid, Corridex.Index(*start), Corridex.Index(*end))
    solver.solve()
    return solver


def snapshot(solver):
    """Everything a solver reports, as plain values that compare by content."""
    return (
        cells(solver.SrcToDestPath()),
        solver.SrcToDestDistance(),
        cells(solver.TraversedNodes()),
        solver.TraversedNodesNo(),
    )


def open_neighbours(grid, row, col):
    for dr, dc in STEPS:
        r, c = row + dr, col + dc
        if 0 <= r < len(grid) and 0 <= c < len(grid[r]) and grid[r][c]:
            yield r, c


def steps_between(grid, start, end):
    """Fewest single-cell steps from start to end by a plain grid BFS written apart from the
    solvers, or None when the start is a wall or the end cannot be reached."""
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


def routes_start_to_end(grid, start, end):
    """{class name: (route from start to end, distance)} for every solver."""
    routes = {}
    for cls in SOLVERS:
        solver = solved(cls, grid, start, end)
        route = cells(solver.SrcToDestPath())
        if PROMISES[cls.__name__].route == "end-first":
            route.reverse()
        routes[cls.__name__] = (tuple(route), solver.SrcToDestDistance())
    return routes


def broken_invariants(solver, grid, start, end, shortest):
    """What a solved `solver` of `grid` breaks among the promises of its class (PROMISES), given
    the fewest steps from start to end (None when unreachable); an empty list when all hold.

    Routes run between the right cells by single open steps without repeats; distances, what an
    unreachable end leaves and what is recorded are as the class's row of PROMISES says."""
    promises = PROMISES[type(solver).__name__]
    path = cells(solver.SrcToDestPath())
    traversed = cells(solver.TraversedNodes())
    distance = solver.SrcToDestDistance()
    count = solver.TraversedNodesNo()
    broken = []

    def require(holds, what):
        if not holds:
            broken.append(what)

    recorded = len(traversed)
    require(count == (recorded**3 % 2**64 if promises.count == "cube" else recorded),
            "TraversedNodesNo")
    if promises.recorded == "never-start":
        require(start not in traversed, "the start recorded")
    else:
        require(len(set(traversed)) == len(traversed), "a node recorded twice")
        if promises.recorded == "start-first":
            require(traversed[:1] == [start], "the start not recorded first")
        else:
            require(traversed == sorted(traversed), "nodes not recorded in row-major order")
    if shortest is None:
        unreached = [end] if promises.unreached == "end-alone" else []
        require(path == unreached and distance == 0, "a route to an unreachable end")
        return broken
    first, last = (end, start) if promises.route == "end-first" else (start, end)
    require(path[:1] == [first] and path[-1:] == [last], "route ends")
    require(all(grid[r][c] for r, c in path), "route through a wall")
    require(
        all(abs(a[0] - b[0]) + abs(a[1] - b[1]) == 1 for a, b in zip(path, path[1:])),
        "route steps not single",
    )
    require(len(set(path)) == len(path), "route repeats a cell")
    steps = len(path) - 1
    if promises.distance == "fewest":
        require(distance == steps == shortest, "distance not the fewest steps")
    elif promises.distance == "route-length":
        require(distance == steps >= shortest, "distance not the route's length")
    else:
        require(distance >= steps >= shortest, "distance below the route's length")
    return broken


def default_ctrl_c():
    """For subprocess's preexec_fn, in tests that send a child Ctrl-C: a child of a background
    job inherits SIGINT ignored, and Python then installs no KeyboardInterrupt handler."""
    signal.signal(signal.SIGINT, signal.SIG_DFL)
