"""Two builds of the Python module compared end to end, in the same run, and what each keeps.

    python benchmarks/compare_builds.py BEFORE_DIR AFTER_DIR [--rounds 7] [--side 2000]
        [--kind open|maze]

Each folder holds a built `Corridex*.so`. The builds run alternately, each round in a fresh
subprocess, on the same grid (70% open at random, or a generated maze with 2% of its walls
knocked out): for every solver but FloydWarshall, construction from a NumPy array (build) and
the minor page faults it took (faults), solve() (solve) and TraversedNodes() + SrcToDestPath()
with the lists dropped again (results, per Index handed out). Each is the second of two runs
in the process, as in a program that solves grid after grid. Medians of the rounds are printed
with the ratio after / before. Then, once per build, two memory figures by resident size:

- kept Index: growth while one Index is kept from each of 3,000 BreadthFirstSearch results on a
  400 x 400 maze, per kept Index, measured after a second of rest and one more small call;
- left over: resident size above the start after every solver and result list of the maze has
  been made and dropped, a second of rest and one more small call.
"""

from __future__ import annotations

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile

WORKER = r"""
import gc, json, os, resource, sys, time
sys.path[:0] = [sys.argv[1], sys.argv[5]]
import numpy
import Corridex
from Corridex import Index
from corridex_support.promises import UNLIMITED

PAGE = os.sysconf("SC_PAGE_SIZE")
def resident():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE

def maze(side, seed):
    if maze_file:
        grid = numpy.load(maze_file)
        return grid, Index(0, 0), Index(side - 2, side - 2)
    # Open cells with 30% walls, corners open: every solver sees many nodes and loops.
    grid = numpy.random.default_rng(seed).random((side, side)) < 0.7
    grid[0, 0] = grid[-1, -1] = True
    return grid, Index(0, 0), Index(side - 1, side - 1)

def faults():
    return resource.getrusage(resource.RUSAGE_SELF).ru_minflt

mode, side, maze_file = sys.argv[2], int(sys.argv[3]), sys.argv[4]
names = [cls.__name__ for cls in UNLIMITED]
out = {}
if mode == "speed":
    grid, start, end = maze(side, 1)
    for name in names:
        cls = getattr(Corridex, name)
        cls(grid, start, end).solve()  # warm-up
        f0 = faults(); t0 = time.perf_counter(); solver = cls(grid, start, end)
        t1 = time.perf_counter(); f1 = faults(); solver.solve()
        t2 = time.perf_counter(); visited = solver.TraversedNodes(); route = solver.SrcToDestPath()
        count = len(visited) + len(route); del visited, route
        t3 = time.perf_counter()
        del solver
        out[name] = {"build ms": (t1 - t0) * 1e3, "faults": f1 - f0, "solve ms": (t2 - t1) * 1e3,
                     "results ns/Index": (t3 - t2) * 1e9 / max(count, 1)}
elif mode == "kept":
    maze_file = ""  # always the small open grid
    grid, start, end = maze(400, 2)
    gc.collect(); before = resident()
    kept = []
    for _ in range(3000):
        solver = Corridex.BreadthFirstSearch(grid, start, end)
        solver.solve()
        kept.append(solver.TraversedNodes()[-1])
    del solver
    gc.collect()
    time.sleep(1)
    Corridex.BreadthFirstSearch([[True]], Index(), Index()).solve()
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
    time.sleep(1)
    Corridex.BreadthFirstSearch([[True]], Index(), Index()).solve()
    out["left over MiB"] = (resident() - before) / 2**20
print(json.dumps(out))
"""


# The solver list is the tests' own.
TESTS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "python")


MAZE_MAKER = r"""
import sys
sys.path.insert(0, sys.argv[1])
import numpy
import Corridex
side = int(sys.argv[2])
grid = numpy.array(Corridex.RandomMazeGenerator(side, side).generate(), dtype=bool)
rng = numpy.random.default_rng(side)
walls = numpy.argwhere(~grid)
knocked = walls[rng.choice(len(walls), size=len(walls) // 50, replace=False)]
grid[knocked[:, 0], knocked[:, 1]] = True
numpy.save(sys.argv[3], grid)
"""


def run(folder, mode, side, maze_file=""):
    done = subprocess.run([sys.executable, "-c", WORKER, folder, mode, str(side), maze_file, TESTS],
                          capture_output=True, text=True, check=True)
    return json.loads(done.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--side", type=int, default=2000)
    parser.add_argument("--kind", choices=("open", "maze"), default="open")
    args = parser.parse_args()
    builds = {"before": os.path.abspath(args.before), "after": os.path.abspath(args.after)}
    maze_file = ""
    if args.kind == "maze":
        maze_file = os.path.join(tempfile.mkdtemp(prefix="corridex-compare-"), "maze.npy")
        subprocess.run([sys.executable, "-c", MAZE_MAKER, builds["after"], str(args.side),
                        maze_file], check=True)
    samples: dict[str, dict[tuple[str, str], list[float]]] = {b: {} for b in builds}
    for _ in range(args.rounds):
        for build, folder in builds.items():
            for solver, figures in run(folder, "speed", args.side, maze_file).items():
                for figure, value in figures.items():
                    samples[build].setdefault((solver, figure), []).append(value)
    print(f"{'solver':20s} {'figure':18s} {'before':>10s} {'after':>10s} {'after/before':>13s}")
    for key, values in samples["before"].items():
        before = statistics.median(values)
        after = statistics.median(samples["after"][key])
        ratio = f"{after / before:12.3f}x" if before else ""
        print(f"{key[0]:20s} {key[1]:18s} {before:10.2f} {after:10.2f} {ratio}")
    for mode in ("kept", "left"):
        figures = {build: run(folder, mode, args.side, maze_file)
                   for build, folder in builds.items()}
        for figure in figures["before"]:
            print(f"{figure:39s} {figures['before'][figure]:10.1f} {figures['after'][figure]:10.1f}")


if __name__ == "__main__":
    main()
