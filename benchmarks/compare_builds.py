"""Two builds of the Python module compared end to end, in the same run, and what each keeps.

    python benchmarks/compare_builds.py BEFORE_DIR AFTER_DIR [--rounds 7] [--side 2000]

Each folder holds a built `Corridex*.so`. The builds run alternately, each round in a fresh
subprocess, on the same maze: for every solver but FloydWarshall, construction from a NumPy
array (build), solve() (solve) and TraversedNodes() + SrcToDestPath() with the lists dropped
again (results, per Index handed out). Medians of the rounds are printed with the ratio
after / before. Then, once per build, two memory figures by resident size:

- kept Index: growth while one Index is kept from each of 3,000 BreadthFirstSearch results on a
  400 x 400 maze, per kept Index;
- left over: resident size above the start after every solver and result list of the maze has
  been made and dropped.
"""

from __future__ import annotations

import argparse
import json
import os
import statistics
import subprocess
import sys

WORKER = r"""
import gc, json, os, sys, time
sys.path[:0] = [sys.argv[1], sys.argv[4]]
import numpy
import Corridex
from Corridex import Index
from maze_support import UNLIMITED

PAGE = os.sysconf("SC_PAGE_SIZE")
def resident():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE

def maze(side, seed):
    # Open cells with 30% walls, corners open: every solver sees many nodes and loops.
    grid = numpy.random.default_rng(seed).random((side, side)) < 0.7
    grid[0, 0] = grid[-1, -1] = True
    return grid, Index(0, 0), Index(side - 1, side - 1)

mode, side = sys.argv[2], int(sys.argv[3])
names = [cls.__name__ for cls in UNLIMITED]
out = {}
if mode == "speed":
    grid, start, end = maze(side, 1)
    for name in names:
        cls = getattr(Corridex, name)
        cls(grid, start, end).solve()  # warm-up
        t0 = time.perf_counter(); solver = cls(grid, start, end)
        t1 = time.perf_counter(); solver.solve()
        t2 = time.perf_counter(); visited = solver.TraversedNodes(); route = solver.SrcToDestPath()
        count = len(visited) + len(route); del visited, route
        t3 = time.perf_counter()
        out[name] = {"build ms": (t1 - t0) * 1e3, "solve ms": (t2 - t1) * 1e3,
                     "results ns/Index": (t3 - t2) * 1e9 / max(count, 1)}
elif mode == "kept":
    grid, start, end = maze(400, 2)
    gc.collect(); before = resident()
    kept = []
    for _ in range(3000):
        solver = Corridex.BreadthFirstSearch(grid, start, end)
        solver.solve()
        kept.append(solver.TraversedNodes()[-1])
    del solver
    gc.collect()
    out["kept Index B"] = (resident() - before) / len(kept)
else:
    gc.collect(); before = resident()
    grid, start, end = maze(side, 3)
    held = []
    for name in names:
        solver = getattr(Corridex, name)(grid, start, end)
        solver.solve()
        held.append((solver, solver.TraversedNodes(), solver.SrcToDestPath()))
    del held, solver, grid
    gc.collect()
    out["left over MiB"] = (resident() - before) / 2**20
print(json.dumps(out))
"""


# The solver list is the tests' own.
TESTS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "python")


def run(folder, mode, side):
    done = subprocess.run([sys.executable, "-c", WORKER, folder, mode, str(side), TESTS],
                          capture_output=True, text=True, check=True)
    return json.loads(done.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--side", type=int, default=2000)
    args = parser.parse_args()
    builds = {"before": os.path.abspath(args.before), "after": os.path.abspath(args.after)}
    samples: dict[str, dict[tuple[str, str], list[float]]] = {b: {} for b in builds}
    for _ in range(args.rounds):
        for build, folder in builds.items():
            for solver, figures in run(folder, "speed", args.side).items():
                for figure, value in figures.items():
                    samples[build].setdefault((solver, figure), []).append(value)
    print(f"{'solver':20s} {'figure':18s} {'before':>10s} {'after':>10s} {'after/before':>13s}")
    for key, values in samples["before"].items():
        before = statistics.median(values)
        after = statistics.median(samples["after"][key])
        print(f"{key[0]:20s} {key[1]:18s} {before:10.2f} {after:10.2f} {after / before:12.3f}x")
    for mode in ("kept", "left"):
        figures = {build: run(folder, mode, args.side) for build, folder in builds.items()}
        for figure in figures["before"]:
            print(f"{figure:39s} {figures['before'][figure]:10.1f} {figures['after'][figure]:10.1f}")


if __name__ == "__main__":
    main()
