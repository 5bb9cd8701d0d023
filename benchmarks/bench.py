"""Corridex against peer libraries, end to end, on the same mazes.

    python benchmarks/bench.py            # grids of about 200², 1000² and 2000² (under 10 minutes)
    python benchmarks/bench.py --quick    # about a minute
    python benchmarks/bench.py --json out.json

Each library runs in a fresh subprocess, so that its peak resident size is its own. Every time
includes what a user of that library would do: for Corridex, construction (grid conversion and
graph building) + solve() + SrcToDestPath(); for a peer, its own input preparation and search.
Times are medians of several runs after a warm-up. Before any time is printed, every result that
promises a shortest route must report the same length as BreadthFirstSearch on the same maze.
"""

from __future__ import annotations

import argparse
import ctypes
import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import peers  # noqa: E402

SOLVERS = ["DepthFirstSearch", "BreadthFirstSearch", "DijkstraAlgorithm", "AStar", "BellmanFord"]
FAMILY = {
    "DepthFirstSearch": peers.TRAVERSAL,
    "BreadthFirstSearch": peers.TRAVERSAL,
    "DijkstraAlgorithm": peers.DIJKSTRA,
    "AStar": peers.ASTAR,
    "BellmanFord": peers.BELLMAN_FORD,
    "FloydWarshall": peers.ALL_PAIRS,
}
# Solvers whose route is a shortest one on any maze; the others only on loop-free mazes.
ALWAYS_SHORTEST = {"BreadthFirstSearch", "BellmanFord", "FloydWarshall"}
WORKER_TIMEOUT = 300


def median_time(run, repeats, budget=20.0):
    """Median seconds of `repeats` runs after one warm-up; a warm-up over `budget` is the answer."""
    start = time.perf_counter()
    result = run()
    warm = time.perf_counter() - start
    if warm > budget:
        return warm, result
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        result = run()
        times.append(time.perf_counter() - start)
    return statistics.median(times), result


# --- the mazes -----------------------------------------------------------------------------


def make_mazes(sizes, floyd_size, folder):
    """Writes each maze as .npy; returns [(name, size, kind, path)]. Seeded through libc srand."""
    import Corridex

    libc = ctypes.CDLL(None)
    mazes = []
    for size in sizes + [floyd_size]:
        libc.srand(size)
        grid = np.array(Corridex.RandomMazeGenerator(size, size).generate(), dtype=bool)
        rng = np.random.default_rng(size)
        loops = grid.copy()
        walls = np.argwhere(~loops[:-1, :-1] & ((np.indices(loops[:-1, :-1].shape).sum(0) % 2) == 1))
        knocked = walls[rng.choice(len(walls), size=max(1, len(walls) // 50), replace=False)]
        loops[knocked[:, 0], knocked[:, 1]] = True
        kinds = [("perfect", grid), ("loops", loops)]
        if size != floyd_size:
            # About 70% open at random, with the top row and the right column open so that the
            # corners are always joined.
            open_grid = rng.random(grid.shape) < 0.7
            open_grid[0, :] = True
            open_grid[:, -1] = True
            kinds.append(("open70", open_grid))
        for kind, maze in kinds:
            name = f"{kind}-{size}" + ("-floyd" if size == floyd_size else "")
            path = os.path.join(folder, name + ".npy")
            np.save(path, maze)
            mazes.append((name, size, kind, path))
    return mazes


def ends(grid, kind):
    last = (grid.shape[0] - 1, grid.shape[1] - 1) if kind == "open70" else (
        grid.shape[0] - 2, grid.shape[1] - 2)
    return (0, 0), last


# --- workers, one per library, each in its own process --------------------------------------


def corridex_worker(mazes, repeats):
    import Corridex

    rows = []
    for name, size, kind, path in mazes:
        array = np.load(path)
        listed = array.tolist()
        start, end = ends(array, kind)
        s, e = Corridex.Index(*start), Corridex.Index(*end)
        floyd = name.endswith("-floyd")
        for solver in (["FloydWarshall"] if floyd else SOLVERS):
            cls = getattr(Corridex, solver)
            for form, grid in (("list", listed), ("numpy", array)):
                def run():
                    obj = cls(grid, s, e)
                    obj.solve()
                    return obj, obj.SrcToDestPath()
                seconds, (obj, route) = median_time(run, repeats)
                traversed_seconds, traversed = median_time(obj.TraversedNodes, repeats)
                rows.append(dict(library="Corridex", name=f"{solver} ({form})", solver=solver,
                                 form=form, maze=name, seconds=seconds,
                                 length=obj.SrcToDestDistance() if route else None,
                                 steps=len(route) - 1 if route else None,
                                 traversed=len(traversed), traversed_seconds=traversed_seconds))
        if not floyd and kind == "perfect":
            rows += corridex_extras(Corridex, listed, size, repeats)
    return rows


def corridex_extras(Corridex, listed, size, repeats):
    """Conversion, result hand-back and generation, each beside its yardstick."""
    walls = [[False] * len(listed[0]) for _ in listed]
    convert, _ = median_time(lambda: Corridex.DepthFirstSearch(walls, Corridex.Index(), Corridex.Index()), repeats)
    numpy_convert, _ = median_time(lambda: np.array(walls, dtype=bool), repeats)
    n = len(listed)
    open_grid = [[True] * n for _ in range(n)]
    solver = Corridex.BreadthFirstSearch(open_grid, Corridex.Index(0, 0), Corridex.Index(n - 1, n - 1))
    solver.solve()
    count = solver.TraversedNodesNo()
    per_index, _ = median_time(solver.TraversedNodes, repeats)
    numbers = list(range(count))
    per_tuple, _ = median_time(lambda: [(i, i) for i in numbers], repeats)
    libc = ctypes.CDLL(None)
    libc.srand(1)
    generate, _ = median_time(lambda: Corridex.RandomMazeGenerator(size, size).generate(), repeats)
    return [dict(library="Corridex", name="grid conversion (list)", maze=f"walls-{size}",
                 seconds=convert, yardstick="numpy.array(grid, dtype=bool)",
                 yardstick_seconds=numpy_convert),
            dict(library="Corridex", name="TraversedNodes per Index", maze=f"open-{size}",
                 seconds=per_index / count, yardstick="2-tuple of ints",
                 yardstick_seconds=per_tuple / count),
            dict(library="Corridex", name="RandomMazeGenerator.generate", maze=f"perfect-{size}",
                 seconds=generate)]


def peer_worker(library, mazes, repeats, small):
    rows = []
    for name, size, kind, path in mazes:
        grid = np.load(path)
        start, end = ends(grid, kind)
        floyd = name.endswith("-floyd")
        for peer in peers.PEERS:
            if peer.library != library:
                continue
            if floyd != (peer.family == peers.ALL_PAIRS):
                continue
            if peer.where == peers.SMALL and size != small:
                continue
            if peer.where == peers.ALL_PAIRS_TINY:
                continue
            seconds, length = median_time(lambda: peer.run(grid, start, end), repeats)
            rows.append(dict(library=library, name=peer.name, family=peer.family, maze=name,
                             seconds=seconds, length=length, shortest=peer.shortest,
                             note=peer.note))
    if library == "mazelib":
        for name, size, kind, path in mazes:
            if kind == "perfect" and not name.endswith("-floyd"):
                seconds, _ = median_time(lambda: peers.mazelib_generate(size, 1), 1, budget=5)
                rows.append(dict(library="mazelib", name="BacktrackingGenerator",
                                 maze=f"perfect-{size}", seconds=seconds))
    return rows


def worker_main(args):
    with open(args.worker_input) as handle:
        job = json.load(handle)
    if job["library"] == "Corridex":
        rows = corridex_worker(job["mazes"], job["repeats"])
    else:
        rows = peer_worker(job["library"], job["mazes"], job["repeats"], job["small"])
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(json.dumps(dict(rows=rows, peak_mib=peak)))


def run_worker(library, mazes, repeats, small, folder):
    job = os.path.join(folder, f"job-{library}.json")
    with open(job, "w") as handle:
        json.dump(dict(library=library, mazes=mazes, repeats=repeats, small=small), handle)
    try:
        done = subprocess.run([sys.executable, __file__, "--worker-input", job],
                              capture_output=True, text=True, timeout=WORKER_TIMEOUT)
    except subprocess.TimeoutExpired:
        return dict(rows=[], peak_mib=None, error=f"timed out after {WORKER_TIMEOUT} s")
    if done.returncode != 0:
        return dict(rows=[], peak_mib=None, error=(done.stderr.strip().splitlines() or ["?"])[-1])
    return json.loads(done.stdout.strip().splitlines()[-1])


# --- report --------------------------------------------------------------------------------


def check_lengths(rows):
    """Every shortest-route answer must match BreadthFirstSearch's steps on the same maze."""
    truth = {r["maze"]: r["steps"] for r in rows
             if r.get("solver") == "BreadthFirstSearch" and r["form"] == "numpy"}
    floyd = {r["maze"]: r["length"] for r in rows if r.get("solver") == "FloydWarshall"}
    truth.update(floyd)
    problems = []
    for r in rows:
        if "length" not in r or r["maze"] not in truth:
            continue
        shortest = (r.get("solver") in ALWAYS_SHORTEST or r["maze"].startswith("perfect")
                    or (r["library"] != "Corridex" and r.get("shortest", True)))
        if shortest and r["length"] != truth[r["maze"]]:
            problems.append(f"{r['library']} {r['name']} on {r['maze']}: {r['length']} "
                            f"!= {truth[r['maze']]}")
    return problems


def report(rows, peaks, errors):
    print(f"{'solver':30s} {'maze':18s} {'Corridex':>10s} {'fastest peer':44s} {'peer':>10s} {'ratio':>7s}")
    corridex = [r for r in rows if r["library"] == "Corridex" and "solver" in r]
    summary = []
    for r in corridex:
        family = FAMILY[r["solver"]]
        rivals = [p for p in rows if p.get("family") == family and p["maze"] == r["maze"]]
        if r["solver"] == "DepthFirstSearch":
            rivals = [p for p in rivals if not p["shortest"]] or rivals
        best = min(rivals, key=lambda p: p["seconds"], default=None)
        ratio = best["seconds"] / r["seconds"] if best else None
        summary.append(dict(r, peer=best and best["name"], peer_seconds=best and best["seconds"],
                            ratio=ratio))
        print(f"{r['name']:30s} {r['maze']:18s} {r['seconds'] * 1e3:8.1f}ms "
              f"{(best['library'] + ': ' + best['name'])[:44] if best else '-':44s} "
              f"{best['seconds'] * 1e3 if best else float('nan'):8.1f}ms "
              f"{ratio if ratio else float('nan'):6.2f}x")
    print("\nratio = fastest peer's time / Corridex's time (above 1: Corridex is faster).")
    print("Small-size-only peers (pure Python, or O(V E)): " + ", ".join(sorted(
        {p.name for p in peers.PEERS if p.where == peers.SMALL})))
    print("FloydWarshall runs only on the *-floyd mazes, against the all-pairs peers.\n")
    for r in rows:
        if "yardstick" in r:
            print(f"{r['name']:28s} {r['maze']:14s} {r['seconds'] * 1e9 if r['seconds'] < 1e-3 else r['seconds'] * 1e3:10.2f}"
                  f"{'ns' if r['seconds'] < 1e-3 else 'ms'}  {r['yardstick']}: "
                  f"{r['yardstick_seconds'] / r['seconds']:.2f}x Corridex's time")
    generation = {r["maze"]: r for r in rows if r["name"] == "RandomMazeGenerator.generate"}
    for r in rows:
        if r["name"] == "BacktrackingGenerator" and r["maze"] in generation:
            mine = generation[r["maze"]]["seconds"]
            print(f"RandomMazeGenerator {r['maze']}: {mine * 1e3:.1f}ms, mazelib "
                  f"{r['seconds'] * 1e3:.1f}ms: {r['seconds'] / mine:.1f}x")
    by = {(r["solver"], r["maze"], r["form"]): r["seconds"] for r in corridex}
    for (solver, maze, form), seconds in sorted(by.items()):
        if solver == "BellmanFord" and (("DijkstraAlgorithm", maze, form) in by):
            print(f"BellmanFord / DijkstraAlgorithm on {maze} ({form}): "
                  f"{seconds / by[('DijkstraAlgorithm', maze, form)]:.2f}")
    print("\npeak resident size per library (MiB): " +
          ", ".join(f"{k} {v:.0f}" for k, v in peaks.items() if v))
    for library, error in errors.items():
        print(f"{library}: not measured ({error})")
    return summary


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="small mazes only, about a minute")
    parser.add_argument("--json", default=os.path.join(HERE, "results", "bench.json"))
    parser.add_argument("--worker-input", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker_input:
        return worker_main(args)
    sizes = [100, 200] if args.quick else [200, 1000, 2000]
    floyd_size = 40 if args.quick else 100
    repeats = 3 if args.quick else 5
    libraries = ["Corridex", "tcod", "pyastar2d", "scipy", "rustworkx", "networkx",
                 "pathfinding", "mazelib"]
    with tempfile.TemporaryDirectory() as folder:
        mazes = make_mazes(sizes, floyd_size, folder)
        rows, peaks, errors = [], {}, {}
        for library in libraries:
            print(f"measuring {library} ...", file=sys.stderr, flush=True)
            result = run_worker(library, mazes, repeats, sizes[0], folder)
            rows += result["rows"]
            peaks[library] = result["peak_mib"]
            if "error" in result:
                errors[library] = result["error"]
    problems = check_lengths(rows)
    if problems:
        print("route lengths disagree; no times reported:\n  " + "\n  ".join(problems))
        sys.exit(1)
    summary = report(rows, peaks, errors)
    os.makedirs(os.path.dirname(os.path.abspath(args.json)), exist_ok=True)
    with open(args.json, "w") as handle:
        json.dump(dict(rows=rows, summary=summary, peaks=peaks, errors=errors), handle, indent=1)
    print(f"\nfigures written to {args.json}")


if __name__ == "__main__":
    main()
