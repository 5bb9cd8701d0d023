"""AStar and DijkstraAlgorithm against pyastar2d and tcod on open grids, interleaved in one run.

    python benchmarks/open_grid_peers.py [--side 1000] [--repeat 5]

A quick look beside bench.py's full run: each grid is open at random with the given fraction,
its top row and right column open so that the corners are joined; every library runs corner
to corner, from NumPy, `--repeat` times in turn, and the best time of each is printed with
Corridex's construction and solve apart, its expansions and its solve time per expansion.
"""

from __future__ import annotations

import argparse
import time

import numpy as np

import Corridex

FRACTIONS = (0.6, 0.7, 0.85, 0.9, 0.95, 1.0)


def timed(run):
    began = time.perf_counter()
    result = run()
    return time.perf_counter() - began, result


def corridex(cls, grid, start, end):
    began = time.perf_counter()
    solver = cls(grid, Corridex.Index(*start), Corridex.Index(*end))
    built = time.perf_counter()
    solver.solve()
    solver.SrcToDestPath()
    return built - began, time.perf_counter() - built, solver.TraversedNodesNo()


def pyastar2d_route(grid, start, end):
    import pyastar2d

    weights = np.where(grid, np.float32(1), np.float32(np.inf)).astype(np.float32)
    return pyastar2d.astar_path(weights, start, end, allow_diagonal=False)


def tcod_route(grid, start, end, heuristic):
    import tcod.path

    graph = tcod.path.SimpleGraph(cost=grid.astype(np.int8), cardinal=1, diagonal=0)
    if heuristic:
        graph.set_heuristic(cardinal=1, diagonal=0)
    finder = tcod.path.Pathfinder(graph)
    finder.add_root(start)
    return finder.path_to(end)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--side", type=int, default=1000)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    side = args.side
    for fraction in FRACTIONS:
        grid = np.random.default_rng(7).random((side, side)) < fraction
        grid[0, :] = True
        grid[:, -1] = True
        start, end = (0, 0), (side - 1, side - 1)
        mine = {Corridex.AStar: [], Corridex.DijkstraAlgorithm: []}
        peers = {"pyastar2d": [], "tcod A*": [], "tcod Dijkstra": []}
        for _ in range(args.repeat):
            for cls, runs in mine.items():
                runs.append(corridex(cls, grid, start, end))
            peers["pyastar2d"].append(timed(lambda: pyastar2d_route(grid, start, end))[0])
            peers["tcod A*"].append(timed(lambda: tcod_route(grid, start, end, True))[0])
            peers["tcod Dijkstra"].append(timed(lambda: tcod_route(grid, start, end, False))[0])
        best = {name: min(runs) for name, runs in peers.items()}
        astar = min(mine[Corridex.AStar], key=lambda run: run[0] + run[1])
        dijkstra = min(mine[Corridex.DijkstraAlgorithm], key=lambda run: run[0] + run[1])
        fastest_astar = min(best["pyastar2d"], best["tcod A*"])
        print(f"{side} {fraction:.2f} open: AStar {astar[0] * 1e3:.1f} + {astar[1] * 1e3:.1f} ms, "
              f"{astar[2]} expansions, {astar[1] * 1e9 / astar[2]:.0f} ns each; "
              f"pyastar2d {best['pyastar2d'] * 1e3:.1f} ms, tcod A* {best['tcod A*'] * 1e3:.1f} ms"
              f", ratio {fastest_astar / (astar[0] + astar[1]):.2f}x | DijkstraAlgorithm "
              f"{dijkstra[0] * 1e3:.1f} + {dijkstra[1] * 1e3:.1f} ms; tcod Dijkstra "
              f"{best['tcod Dijkstra'] * 1e3:.1f} ms, ratio "
              f"{best['tcod Dijkstra'] / (dijkstra[0] + dijkstra[1]):.2f}x", flush=True)


if __name__ == "__main__":
    main()
