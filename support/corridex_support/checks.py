"""Running a solver and reading its results as plain values, a reference grid search written
apart from the solvers, and the invariants every solver's results keep on any maze, by the
promises of its class. Plain Python and Corridex only."""

from __future__ import annotations

import collections

import Corridex

from .grids import open_neighbours
from .promises import PROMISES, SOLVERS


def cells(indices) -> list[tuple[int, int]]:
    """Index objects as (row, col) pairs, for comparisons and readable failures."""
    return [(i.row, i.col) for i in indices]


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
