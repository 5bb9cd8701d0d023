"""Each search family against its peers on bench.py's mazes and open grids, interleaved in one run.

    python benchmarks/family_peers.py --mazes DIR [--sizes 1000,2000] [--rounds 3]

A quick look beside bench.py's full run (which takes over an hour with the open grids): one
process, each library called in turn on one grid, `--rounds` times after a warm-up round, and
the median of each printed as the fastest same-family peer's time over Corridex's, end to end
from NumPy (construction + solve() + SrcToDestPath()). Only the peers that bench.py runs on
grids of every size take part. The grids are bench.py's, made in DIR or taken from it, so that
two builds (chosen with PYTHONPATH) are timed on the same grids.

The libraries share one process, and so glibc's allocator, whose threshold for mapping a large
block afresh rises as such blocks are freed: left free, it made scipy's breadth-first order on
the 1000² grids 82 ms in one run and 340 ms in the next, depending on what had run before. The
script therefore runs itself again with the threshold pinned where a long-running program's
settles (glibc's ceiling of 32 MiB, trimming at twice that), so that every library finds its
large arrays as it would in its users' loops, whatever ran before it.
"""

from __future__ import annotations

import argparse
import gc
import json
import os
import statistics
import sys
import time

import numpy as np

import bench
import peers

import Corridex


def timed(run):
    gc.collect()
    began = time.perf_counter()
    result = run()
    elapsed = time.perf_counter() - began
    del result
    return elapsed


def contenders(grid, start, end):
    """[(name, family, run)]: every Corridex solver with a family, then every peer of one."""
    families = {name: family for name, family in bench.FAMILY.items() if name in bench.SOLVERS}
    runs = []
    for solver, family in families.items():
        cls = getattr(Corridex, solver)

        def run(cls=cls):
            found = cls(grid, Corridex.Index(*start), Corridex.Index(*end))
            found.solve()
            return found.SrcToDestPath()

        runs.append(("Corridex " + solver, family, run))
    for peer in peers.PEERS:
        if peer.where == peers.ALL and peer.family in families.values():
            runs.append((peer.name, peer.family, lambda peer=peer: peer.run(grid, start, end)))
    return runs


# glibc's ceiling for its moving mmap threshold, and the trim threshold that goes with it;
# setting them stops both from moving.
PINNED_ALLOCATOR = {"MALLOC_MMAP_THRESHOLD_": str(32 << 20), "MALLOC_TRIM_THRESHOLD_": str(64 << 20)}


def main():
    if "MALLOC_MMAP_THRESHOLD_" not in os.environ:
        environment = dict(os.environ, **PINNED_ALLOCATOR)
        os.execve(sys.executable, [sys.executable, *sys.argv], environment)
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mazes", metavar="DIR", required=True)
    parser.add_argument("--sizes", default="1000,2000")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--json", help="write every median, in seconds, to this file")
    args = parser.parse_args()
    sizes = [int(size) for size in args.sizes.split(",")]
    medians = {}
    for maze in bench.make_mazes(sizes, [], args.mazes):
        grid = np.load(maze["path"])
        start, end = bench.ends(grid.shape, maze["kind"])
        runs = contenders(grid, start, end)
        times = {name: [] for name, _, _ in runs}
        for round_number in range(args.rounds + 1):
            for name, _, run in runs:
                elapsed = timed(run)
                if round_number:  # the first round warms up
                    times[name].append(elapsed)
        median = {name: statistics.median(values) for name, values in times.items()}
        medians[maze["name"]] = median
        figures = []
        for name, family, _ in runs:
            if name.startswith("Corridex "):
                rivals = [rival for rival, kind, _ in runs if kind == family and rival != name
                          and not rival.startswith("Corridex ")]
                fastest = min(rivals, key=median.get)
                figures.append(f"{name.removeprefix('Corridex ')} {median[name] * 1e3:.1f} ms, {fastest} "
                               f"{median[fastest] * 1e3:.1f} ms, {median[fastest] / median[name]:.2f}x")
        print(f"{maze['name']}: " + " | ".join(figures), flush=True)
    if args.json:
        with open(args.json, "w") as out:
            json.dump(medians, out, indent=1)


if __name__ == "__main__":
    main()
