"""Corridex against peer libraries, end to end, on the same mazes.

    python benchmarks/bench.py            # grids of about 200², 1000² and 2000²
    python benchmarks/bench.py --quick    # small grids, a few minutes
    python benchmarks/bench.py --json out.json

pyperf times every measurement: it runs each in fresh worker processes (so that a library's
peak resident size is its own), calibrates the loops, warms up, and stops a worker that runs
past a time-out. This script adds what pyperf does not do: it interleaves the libraries in
rounds (Corridex, then each peer, then Corridex again...), so that every library sees the same
spells of a busy machine, and reports each figure as the median over all rounds; it caps each
worker's memory (a runaway peer fails with MemoryError instead of waking the kernel's
out-of-memory killer) and mazelib's generator's CPU time; and before any time is printed, it
checks that every result that promises a shortest route reports the same length on the same
maze. Every time includes what a user of that library would do: for Corridex, construction
(grid conversion and graph building) + solve() + SrcToDestPath(); for a peer, its own input
preparation and search. A measurement that fails is reported with the end of its stderr and
the next one goes on.
"""

from __future__ import annotations

import argparse
import concurrent.futures
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

# The solver list and what each solver promises come from the support package.
from corridex_support.promises import PROMISES  # noqa: E402

# FloydWarshall, limited in size, runs only on the all-pairs mazes.
SOLVERS = [name for name, promises in PROMISES.items() if not promises.max_nodes]
FAMILY = {
    "DepthFirstSearch": peers.DEPTH_FIRST,
    "BreadthFirstSearch": peers.BREADTH_FIRST,
    "DijkstraAlgorithm": peers.DIJKSTRA,
    "AStar": peers.ASTAR,
    "BellmanFord": peers.BELLMAN_FORD,
    "FloydWarshall": peers.ALL_PAIRS,
}
# Solvers whose route is a shortest one on any maze; the others only on loop-free mazes.
LIST_TO_ARRAY = "numpy.array(list, dtype=bool)"
ALWAYS_SHORTEST = {name for name, promises in PROMISES.items() if promises.distance == "fewest"}

ROUNDS = 3  # interleaved rounds; --quick runs 2
VALUES = 3  # timed values per measurement per round, after one warm-up
# A measurement whose first value takes longer than this gets one value a round from then on.
SLOW = 1.0
TASK_LIMIT = 150  # seconds one pyperf worker may take before pyperf stops it
# mazelib's generator grows faster than the grid (about 50 s at 1000², several minutes at
# 2000²). Each size gets this many CPU seconds; when they run out, its time and the ratio are
# lower bounds.
GENERATION_CPU_LIMIT = 60
# Address-space cap for each measurement's processes: a peer that grows past it fails with
# MemoryError rather than having the kernel's out-of-memory killer pick a victim.
MEMORY_CAP = min(8 << 30, os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") // 2)


# --- the mazes -----------------------------------------------------------------------------


# Open grids: each cell open with this probability (percent), walls scattered at random.
OPEN_PERCENTS = (60, 70, 85, 95, 100)


def maze_files(size, all_pairs, folder):
    """[(name, kind, path)] of the mazes made at one size."""
    kinds = ["perfect", "loops"] + ([] if all_pairs else [f"open{p}" for p in OPEN_PERCENTS])
    names = [(f"{kind}-{size}" + ("-floyd" if all_pairs else ""), kind) for kind in kinds]
    return [(name, kind, os.path.join(folder, name + ".npy")) for name, kind in names]


def make_mazes(sizes, all_pairs_sizes, folder):
    """Writes each maze to `folder` as .npy, or keeps the file already there; returns a list of
    maze dicts. Seeded through libc srand, but the generator also seeds its start cell with the
    clock, so only mazes kept in a folder (--mazes) repeat from one run to the next."""
    import Corridex

    libc = ctypes.CDLL(None)
    mazes = []
    for size in sizes + all_pairs_sizes:
        all_pairs = size in all_pairs_sizes
        files = maze_files(size, all_pairs, folder)
        if all(os.path.exists(path) for _, _, path in files):
            mazes += [dict(name=name, size=size, kind=kind, path=path, all_pairs=all_pairs)
                      for name, kind, path in files]
            continue
        libc.srand(size)
        grid = np.array(Corridex.RandomMazeGenerator(size, size).generate(), dtype=bool)
        rng = np.random.default_rng(size)
        loops = grid.copy()
        walls = np.argwhere(~loops[:-1, :-1] & ((np.indices(loops[:-1, :-1].shape).sum(0) % 2) == 1))
        knocked = walls[rng.choice(len(walls), size=max(1, len(walls) // 50), replace=False)]
        loops[knocked[:, 0], knocked[:, 1]] = True
        kinds = [("perfect", grid), ("loops", loops)]
        if not all_pairs:
            # Open at random, with the top row and the right column open so that the corners
            # are always joined.
            for percent in OPEN_PERCENTS:
                open_grid = rng.random(grid.shape) < percent / 100
                open_grid[0, :] = True
                open_grid[:, -1] = True
                kinds.append((f"open{percent}", open_grid))
        for (kind, maze), (name, _, path) in zip(kinds, files):
            np.save(path, maze)
            mazes.append(dict(name=name, size=size, kind=kind, path=path, all_pairs=all_pairs))
    return mazes


def ends(shape, kind):
    """Opposite corners: open grids are open there; generated mazes one cell in."""
    inset = 1 if kind.startswith("open") else 2
    return (0, 0), (shape[0] - inset, shape[1] - inset)


# --- what each measurement times -------------------------------------------------------------
# A task is a small JSON dict naming a group of measurements (one maze's solvers, one peer on one
# maze...). Each measurement is a Bench: pyperf times `run` in its workers; `prepare` builds what
# `run` needs once per worker process, outside the timed region; `summary` turns a result into
# what the checks need, and the result is dropped before the next run, so that a large result
# neither counts in the time nor doubles the peak memory.


class Bench:
    def __init__(self, name, row, prepare, summary=len, clock=time.perf_counter):
        self.name, self.row, self.prepare, self.summary, self.clock = (
            name, row, prepare, summary, clock)


def corridex_tasks(mazes, solvers):
    return [dict(kind="corridex", maze=maze, form=form, solvers=solvers)
            for maze in mazes for form in ("list", "numpy")]


def extras_tasks(sizes):
    return [dict(kind="extras", what=what, size=size)
            for size in sizes for what in ("conversion", "hand-back", "generation")]


def peer_tasks(library, mazes, small, tiny):
    tasks = []
    for maze in mazes:
        for peer in peers.PEERS:
            if peer.library != library or maze["all_pairs"] != (peer.family == peers.ALL_PAIRS):
                continue
            if peer.where == peers.SMALL and maze["size"] != small:
                continue
            if peer.where == peers.ALL_PAIRS_TINY and maze["size"] != tiny:
                continue
            tasks.append(dict(kind="peer", peer=peer.name, maze=maze))
    return tasks


def mazelib_tasks(sizes):
    return [dict(kind="mazelib", size=size, cpu_limit=GENERATION_CPU_LIMIT) for size in sizes]


def describe(task):
    what = task.get("peer") or task.get("what") or dict(corridex="Corridex solvers",
                                                        mazelib="mazelib generation")[task["kind"]]
    where = task["maze"]["name"] if "maze" in task else f"size {task['size']}"
    return f"{what}{' (' + task['form'] + ')' if 'form' in task else ''} on {where}"


def load_maze(maze):
    grid = np.load(maze["path"])
    return grid, ends(grid.shape, maze["kind"])


def corridex_benches(task):
    """Every solver on one maze in one input form; TraversedNodes() timed on the NumPy form."""
    import Corridex

    maze, form = task["maze"], task["form"]

    def grid_in_form():
        grid, (start, end) = load_maze(maze)
        return (grid.tolist() if form == "list" else grid), Corridex.Index(*start), Corridex.Index(*end)

    benches = []
    if form == "list":
        # What a peer's user holding this list pays first: peers take NumPy arrays.
        def list_to_array():
            grid = grid_in_form()[0]
            return lambda: np.array(grid, dtype=bool)
        benches.append(Bench(f"{LIST_TO_ARRAY} on {maze['name']}",
                             dict(library="numpy", name=LIST_TO_ARRAY, maze=maze["name"]),
                             list_to_array))
    for solver in (["FloydWarshall"] if maze["all_pairs"] else task["solvers"]):
        cls = getattr(Corridex, solver)

        def solve(cls=cls):
            grid, s, e = grid_in_form()

            def run():
                obj = cls(grid, s, e)
                obj.solve()
                return obj, obj.SrcToDestPath()
            return run

        def summary(result):
            obj, route = result
            return dict(steps=len(route) - 1, length=obj.SrcToDestDistance()) if route else {}

        row = dict(library="Corridex", name=f"{solver} ({form})", solver=solver, form=form,
                   maze=maze["name"], length=None, steps=None)
        benches.append(Bench(f"Corridex {solver} ({form}) on {maze['name']}", row, solve,
                             summary))
        if form == "numpy":
            def traversed(cls=cls):
                grid, s, e = grid_in_form()
                obj = cls(grid, s, e)
                obj.solve()
                return obj.TraversedNodes

            benches.append(Bench(f"Corridex {solver} TraversedNodes() on {maze['name']}",
                                 dict(traversed_of=row["name"], maze=maze["name"]), traversed,
                                 lambda nodes: dict(traversed=len(nodes))))
    return benches


def extras_benches(task):
    """Grid conversion, result hand-back and generation, each beside its yardstick."""
    import Corridex

    size, what = task["size"], task["what"]
    if what == "conversion":
        def walls():
            return [[False] * size for _ in range(size)]

        def convert():
            grid = walls()
            # On an all-wall grid construction is the conversion alone: there is no graph.
            return lambda: Corridex.DepthFirstSearch(grid, Corridex.Index(), Corridex.Index())

        def numpy_convert():
            grid = walls()
            return lambda: np.array(grid, dtype=bool)

        return [Bench(f"grid conversion (list) walls-{size}",
                      dict(library="Corridex", name="grid conversion (list)",
                           maze=f"walls-{size}"), convert, summary=lambda _: {}),
                Bench(f"numpy.array on walls-{size}",
                      dict(yardstick_of=f"grid conversion (list) walls-{size}",
                           name="numpy.array(grid, dtype=bool)"), numpy_convert)]
    if what == "hand-back":
        return hand_back_benches(Corridex, size)

    def generate():
        ctypes.CDLL(None).srand(1)
        return lambda: Corridex.RandomMazeGenerator(size, size).generate()

    return [Bench(f"RandomMazeGenerator.generate {size}",
                  dict(library="Corridex", name="RandomMazeGenerator.generate",
                       maze=f"perfect-{size}"), generate)]


def hand_back_benches(Corridex, size):
    """TraversedNodes() per Index on an open grid, beside building as many 2-tuples of ints."""
    count = size * size  # a breadth-first search of an open grid reaches every cell

    def hand_back():
        solver = Corridex.BreadthFirstSearch([[True] * size for _ in range(size)],
                                             Corridex.Index(0, 0),
                                             Corridex.Index(size - 1, size - 1))
        solver.solve()
        return solver.TraversedNodes

    def python_loop():
        numbers = list(range(count))
        return lambda: [(i, i) for i in numbers]

    def c_speed():
        rows, cols = [i // size for i in range(count)], [i % size for i in range(count)]
        return lambda: list(zip(rows, cols))

    mine = f"TraversedNodes per Index open-{size}"
    return [Bench(mine, dict(library="Corridex", name="TraversedNodes per Index",
                             maze=f"open-{size}", count=count), hand_back),
            Bench(f"2-tuple Python loop open-{size}",
                  dict(yardstick_of=mine, name="2-tuple, Python loop [(i, i) for i in ints]"),
                  python_loop),
            Bench(f"2-tuple C speed open-{size}",
                  dict(yardstick_of=mine, name="2-tuple, C speed list(zip(rows, cols))"),
                  c_speed)]


def peer_benches(task):
    peer = next(p for p in peers.PEERS if p.name == task["peer"])
    maze = task["maze"]

    def prepare():
        grid, (start, end) = load_maze(maze)
        return lambda: peer.run(grid, start, end)

    return [Bench(f"{peer.name} on {maze['name']}",
                  dict(library=peer.library, name=peer.name, family=peer.family,
                       maze=maze["name"], shortest=peer.shortest, note=peer.note),
                  prepare, summary=lambda length: dict(length=length))]


def mazelib_benches(task):
    # CPU time, not wall time: the sizes run side by side (see run_round). The generator is
    # single-threaded Python, so on an idle core the two agree.
    size = task["size"]
    return [Bench(f"mazelib BacktrackingGenerator {size}",
                  dict(library="mazelib", name="BacktrackingGenerator", maze=f"perfect-{size}"),
                  lambda: lambda: peers.mazelib_generate(size, 1), clock=time.process_time)]


BENCHES = dict(corridex=corridex_benches, extras=extras_benches, peer=peer_benches,
               mazelib=mazelib_benches)


# --- pyperf's side: the runner and its workers -----------------------------------------------


def time_func(bench, summary_path):
    """pyperf's timed function for `bench`: `loops` runs, their total seconds by its clock. The
    last result's summary goes to `summary_path`, which the parent reads after the run."""
    prepared = []

    def timed(loops):
        if not prepared:
            prepared.append(bench.prepare())
        run, total, kept = prepared[0], 0.0, None
        for _ in range(loops):
            start = bench.clock()
            result = run()
            total += bench.clock() - start
            kept = bench.summary(result)
            del result
        with open(summary_path, "w") as handle:
            json.dump(kept, handle)
        return total

    return timed


def pyperf_main(task_json, folder):
    """Under pyperf: registers the task's measurements. pyperf's own options (--values, --loops,
    --timeout, -o ...) come from the command line that run_task builds."""
    import pyperf

    def pass_on(cmd, args):
        cmd.extend(["--task", args.task, "--folder", args.folder])

    runner = pyperf.Runner(add_cmdline_args=pass_on, processes=1)
    runner.argparser.add_argument("--task")
    runner.argparser.add_argument("--folder")
    runner.parse_args()
    task = json.loads(task_json)
    for index, bench in enumerate(BENCHES[task["kind"]](task)):
        runner.bench_time_func(bench.name, time_func(bench, os.path.join(folder, f"{index}.json")))


# --- the rounds --------------------------------------------------------------------------------


def cap_resources(cpu_limit):
    def apply():
        resource.setrlimit(resource.RLIMIT_AS, (MEMORY_CAP, MEMORY_CAP))
        if cpu_limit:
            resource.setrlimit(resource.RLIMIT_CPU, (cpu_limit, cpu_limit))
    return apply


def stderr_tail(path, lines=5):
    """The last lines of a run's stderr on one line, without the ^^^ marker lines."""
    with open(path, errors="replace") as handle:
        tail = [line.strip() for line in handle if line.strip(" ^~\n")][-lines:]
    return " | ".join(tail)


def run_task(task, folder, slow):
    """One pyperf run of one task: ({bench name: (values, summary, peak MiB, loops)}, error).

    `slow` maps bench names to their pyperf loops from an earlier round, or to None once a first
    value took over SLOW seconds, after which the task gets one value and no warm-up."""
    import pyperf

    work = tempfile.mkdtemp(dir=folder)
    out, err = os.path.join(work, "pyperf.json"), os.path.join(work, "stderr")
    names = [b.name for b in BENCHES[task["kind"]](task)]
    options = ["--values", str(VALUES), "--warmups", "1"]
    if names and all(name in slow for name in names):
        loops = {slow[name] for name in names}
        if None in loops:
            options = ["--values", "1", "--warmups", "0", "--loops", "1"]
        elif len(loops) == 1:  # calibrated in an earlier round: no need to again
            options += ["--loops", str(loops.pop())]
    cmd = [sys.executable, os.path.abspath(__file__), "--task", json.dumps(task), "--folder", work,
           "--processes", "1", "--timeout", str(TASK_LIMIT), "--quiet", "-o", out] + options
    with open(err, "w") as stderr:
        done = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=stderr,
                              preexec_fn=cap_resources(task.get("cpu_limit")))
    if done.returncode != 0 or not os.path.exists(out):
        tail = stderr_tail(err)
        return {}, f"pyperf exit code {done.returncode}; stderr: {tail or 'nothing'}"
    measured = {}
    for index, bench in enumerate(pyperf.BenchmarkSuite.load(out).get_benchmarks()):
        with open(os.path.join(work, f"{index}.json")) as handle:
            summary = json.load(handle)
        runs = [run for run in bench.get_runs() if run.values]
        measured[bench.get_name()] = (list(bench.get_values()), summary,
                                      max(run.get_metadata().get("mem_max_rss", 0)
                                          for run in runs) / 2**20,
                                      bench.get_metadata().get("loops", 1))
    return measured, None


def run_round(plan, folder, slow, collected, errors, peaks):
    """One pass over every task, library after library; mazelib's sizes side by side (each takes
    minutes of pure Python, timed in CPU seconds so that a neighbour does not skew it)."""
    for label, tasks in plan:
        print(f"  {label} ({len(tasks)} tasks) ...", end="", file=sys.stderr, flush=True)
        began = time.monotonic()
        with concurrent.futures.ThreadPoolExecutor(2 if label == "mazelib" else 1) as pool:
            outcomes = list(pool.map(lambda task: run_task(task, folder, slow), tasks))
        for task, (measured, error) in zip(tasks, outcomes):
            if error:
                errors.setdefault(describe(task), (label, task, error))
            for name, (values, summary, peak, loops) in measured.items():
                entry = collected.setdefault(name, dict(values=[], summary=summary, task=task))
                entry["values"] += values
                entry["summary"] = summary
                peaks[label] = max(peaks.get(label, 0.0), peak)
                slow[name] = None if max(values) > SLOW else loops
        print(f" {time.monotonic() - began:.0f} s", file=sys.stderr, flush=True)


def build_rows(plan, collected, errors):
    """The measured rows, each with the median of its values over every round."""
    benches = {b.name: b for _, tasks in plan for t in tasks for b in BENCHES[t["kind"]](t)}
    rows, by_name = [], {}
    for name, entry in collected.items():
        row = dict(benches[name].row, seconds=statistics.median(entry["values"]),
                   runs=len(entry["values"]))
        row.update(entry["summary"] if isinstance(entry["summary"], dict) else {})
        by_name[name] = row
    for name, row in by_name.items():
        if "traversed_of" in row:
            owner = next((r for r in by_name.values() if r.get("name") == row["traversed_of"]
                          and r.get("maze") == row["maze"]), None)
            if owner:
                owner.update(traversed=row["traversed"], traversed_seconds=row["seconds"],
                             traversed_runs=row["runs"])
        elif "yardstick_of" in row:
            owner = by_name.get(row["yardstick_of"])
            if owner:
                per = owner.get("count", 1)
                owner.setdefault("yardsticks", {})[row["name"]] = row["seconds"] / per
        else:
            rows.append(row)
    for row in rows:
        if "count" in row:
            row["seconds"] /= row["count"]
    messages = []
    for what, (label, task, error) in errors.items():
        if task["kind"] == "mazelib" and not any(r["maze"] == f"perfect-{task['size']}"
                                                 and r["library"] == "mazelib" for r in rows):
            # Out of CPU seconds: the limit is a lower bound on its time.
            rows.append(dict(library="mazelib", name="BacktrackingGenerator",
                             maze=f"perfect-{task['size']}", seconds=None, runs=0,
                             lower_bound=float(task["cpu_limit"])))
        else:
            messages.append(f"{label}: {what}: {error}")
    return rows, messages


# --- checks and report -----------------------------------------------------------------------


def check_lengths(rows):
    """Every result that promises a shortest route must report the same length on its maze."""
    claims = {}
    for r in rows:
        if "length" not in r:
            continue
        perfect = r["maze"].startswith("perfect")  # one route only, so every search finds it
        found = claims.setdefault(r["maze"], [])
        if r["library"] == "Corridex":
            if r["solver"] in ALWAYS_SHORTEST or perfect:
                found.append((f"Corridex {r['name']} distance", r["length"]))
                found.append((f"Corridex {r['name']} route steps", r["steps"]))
        elif r["shortest"] or perfect:
            found.append((r["name"], r["length"]))
    problems = []
    for maze, found in claims.items():
        lengths = [length for _, length in found]
        usual = max(set(lengths), key=lengths.count)
        odd = [f"{who} {length}" for who, length in found if length != usual]
        if odd:
            problems.append(f"{maze}: {lengths.count(usual)} results say {usual}, but " +
                            ", ".join(odd))
    return problems


def fastest_rival(row, rows):
    """The fastest same-family peer on the row's maze. Peers take NumPy arrays, so against a
    list the peer's time includes numpy.array(grid, dtype=bool) on that list."""
    rivals = [p for p in rows if p.get("family") == FAMILY[row["solver"]]
              and p["maze"] == row["maze"]]
    best = min(rivals, key=lambda p: p["seconds"], default=None)
    if best is None or row["form"] != "list":
        return best
    conversion = next((r["seconds"] for r in rows if r["name"] == LIST_TO_ARRAY
                       and r["maze"] == row["maze"]), None)
    if conversion is None:
        return best
    return dict(best, name=best["name"] + " + numpy.array", seconds=best["seconds"] + conversion)


def fmt_time(seconds, runs=3):
    """Seconds in a readable unit; a '*' marks a figure from fewer than three timed runs."""
    if seconds is None:
        return "-"
    if seconds >= 10:
        text = f"{seconds:.1f}s"
    elif seconds >= 1e-3:
        text = f"{seconds * 1e3:.1f}ms"
    else:
        text = f"{seconds * 1e6:.0f}us"
    return text + ("*" if runs < 3 else " ")


def fmt_count(n):
    return f"{n / 1e6:.2f}M" if n >= 1e6 else f"{n / 1e3:.1f}k" if n >= 1e3 else str(n)


def print_table(rows, maze_order):
    print(f"{'solver':26s} {'maze':17s} {'Corridex':>10s}  {'fastest peer':45s} {'peer':>10s} "
          f"{'ratio':>8s}  {'TraversedNodes()':>18s}")
    corridex = [r for r in rows if r["library"] == "Corridex" and "solver" in r]
    corridex.sort(key=lambda r: (maze_order.index(r["maze"]), SOLVERS.index(r["solver"])
                                 if r["solver"] in SOLVERS else 0, r["form"]))
    summary = []
    for r in corridex:
        best = fastest_rival(r, rows)
        ratio = best["seconds"] / r["seconds"] if best else None
        summary.append(dict(r, peer=best and best["name"], peer_seconds=best and best["seconds"],
                            ratio=ratio))
        traversed = (f"{fmt_time(r['traversed_seconds'], r['traversed_runs'])} "
                     f"{fmt_count(r['traversed']):>6s}" if "traversed" in r else "")
        print(f"{r['name']:26s} {r['maze']:17s} {fmt_time(r['seconds'], r['runs']):>10s}  "
              f"{best['name'][:45] if best else '-':45s} "
              f"{fmt_time(best['seconds'], best['runs']) if best else '-':>10s} "
              f"{f'{ratio:.2f}x' if ratio else '-':>8s}  {traversed:>18s}")
    return summary


def print_notes(summary, tiny, rounds):
    print("\nratio = fastest same-family peer's time / Corridex's time (above 1: Corridex is faster)."
          "\nFrom a list, a peer's time includes converting that list with numpy.array: peers "
          "take arrays."
          f"\nEach time is the median over {rounds} interleaved rounds of pyperf runs."
          f"\n* = fewer than three values: a slow peer, over {SLOW:.0f} s a run, gets one a round.")
    shown = {r["peer"] for r in summary if r["peer"]}
    notes = {p.name: p.note for p in peers.PEERS if p.name in shown and p.note}
    print("About the fastest peers above:")
    for name, note in notes.items():
        print(f"  {name}: {note}")
    print("Small-size-only peers (pure Python, O(V E), or a route kept per reached node): " +
          ", ".join(sorted(p.name for p in peers.PEERS if p.where == peers.SMALL)))
    print(f"FloydWarshall runs only on the all-pairs mazes (*-floyd), against the all-pairs peers; "
          f"the dense n^3 ones only at {tiny}²: " +
          ", ".join(sorted(p.name for p in peers.PEERS if p.where == peers.ALL_PAIRS_TINY)))
    print("Peers marked 'length only' report a distance and build no route; Corridex always"
          " builds the route.")


def print_extras(rows):
    print()
    for r in rows:
        if "yardsticks" not in r:
            continue
        per_element = r["name"].endswith("per Index")
        mine = f"{r['seconds'] * 1e9:.0f} ns" if per_element else fmt_time(r["seconds"], r["runs"])
        print(f"{r['name']:26s} {r['maze']:12s} Corridex {mine:>9s}")
        for name, seconds in r["yardsticks"].items():
            theirs = f"{seconds * 1e9:.0f} ns" if per_element else fmt_time(seconds)
            print(f"{'':26s} {'':12s} {name}: {theirs} ({seconds / r['seconds']:.2f}x Corridex's time)")


def generation_ratios(rows):
    """{maze: (Corridex seconds, mazelib seconds, is a lower bound)}."""
    mine = {r["maze"]: r["seconds"] for r in rows if r["name"] == "RandomMazeGenerator.generate"}
    ratios = {}
    for r in rows:
        if r["name"] == "BacktrackingGenerator" and r["maze"] in mine:
            bound = r["seconds"] is None
            ratios[r["maze"]] = (mine[r["maze"]], r["lower_bound"] if bound else r["seconds"], bound)
    return ratios


def print_generation(rows):
    for maze, (mine, theirs, bound) in generation_ratios(rows).items():
        more = "> " if bound else ""
        print(f"RandomMazeGenerator {maze}: {fmt_time(mine).strip()}, mazelib BacktrackingGenerator "
              f"{more}{fmt_time(theirs).strip()} CPU{' (stopped there)' if bound else ''}: "
              f"{more}{theirs / mine:.0f}x")


def goal_lines(rows, summary, largest, all_pairs_size):
    """(what, figure, target) for each goal, from this run's figures."""
    by_key = {(r["solver"], r["maze"], r["form"]): r for r in summary}
    maze = f"perfect-{largest}"

    def per_form(figure):
        return "   ".join(f"{form} {figure(form)}" for form in ("list", "numpy"))

    def ratio(solver, maze_name):
        def figure(form):
            row = by_key.get((solver, maze_name, form))
            return f"{row['ratio']:.2f}x" if row and row["ratio"] else "-"
        return figure

    def bellman_over_dijkstra(form):
        bellman, dijkstra = by_key.get(("BellmanFord", maze, form)), by_key.get(
            ("DijkstraAlgorithm", maze, form))
        return f"{bellman['seconds'] / dijkstra['seconds']:.2f}" if bellman and dijkstra else "-"

    lines = [(f"{solver} vs fastest {FAMILY[solver]} peer, {maze}",
              per_form(ratio(solver, maze)), ">= 3x") for solver in SOLVERS]
    for kind in ("perfect", "loops"):
        floyd = f"{kind}-{all_pairs_size}-floyd"
        lines.append((f"FloydWarshall vs fastest all-pairs peer, {floyd}",
                      per_form(ratio("FloydWarshall", floyd)), ">= 3x"))
    conversion = next((r for r in rows if r["name"] == "grid conversion (list)"
                       and r["maze"] == f"walls-{largest}"), None)
    if conversion:
        numpy_seconds = conversion["yardsticks"]["numpy.array(grid, dtype=bool)"]
        lines.append((f"grid conversion from a list vs numpy.array(grid, dtype=bool), {largest}²",
                      f"{numpy_seconds / conversion['seconds']:.2f}x", ">= 10x"))
    generation = generation_ratios(rows).get(maze)
    if generation:
        mine, theirs, bound = generation
        lines.append((f"RandomMazeGenerator vs mazelib BacktrackingGenerator, {largest}²",
                      f"{'> ' if bound else ''}{theirs / mine:.0f}x", ">= 10x"))
    lines.append((f"BellmanFord time / DijkstraAlgorithm time, {maze}",
                  per_form(bellman_over_dijkstra), "<= 5"))
    return lines


def print_goals(lines):
    print("\ngoals, from this run (figure, then target):")
    for what, figure, target in lines:
        print(f"  {what:68s} {figure:28s} {target}")


def report(rows, peaks, errors, maze_order, largest, tiny, all_pairs_size, rounds):
    summary = print_table(rows, maze_order)
    print_notes(summary, tiny, rounds)
    print_extras(rows)
    print_generation(rows)
    print("\npeak resident size of a pyperf worker (MiB; Corridex holds one solver at a time "
          "and its TraversedNodes() list): " +
          ", ".join(f"{k} {v:.0f}" for k, v in peaks.items() if v))
    for error in errors:
        print(f"NOT MEASURED: {error}")
    goals = goal_lines(rows, summary, largest, all_pairs_size)
    print_goals(goals)
    return summary, goals


# --- main ------------------------------------------------------------------------------------


def plan_workers(mazes, sizes, all_pairs_sizes, solvers):
    """(label, tasks) per library, in the order each round runs them."""
    small, tiny = sizes[0], (all_pairs_sizes or [None])[0]
    plan = [("Corridex", corridex_tasks(mazes, solvers)), ("Corridex extras", extras_tasks(sizes))]
    for library in ["tcod", "pyastar2d", "scipy", "rustworkx", "networkx", "pathfinding"]:
        plan.append((library, peer_tasks(library, mazes, small, tiny)))
    plan.append(("mazelib", mazelib_tasks(sizes)))
    return plan


def main():
    if "--task" in sys.argv:  # under pyperf, as run_task or a pyperf worker starts it
        return pyperf_main(sys.argv[sys.argv.index("--task") + 1],
                           sys.argv[sys.argv.index("--folder") + 1])
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="small mazes only")
    parser.add_argument("--rounds", type=int, help=f"interleaved rounds (default {ROUNDS}; "
                        "2 with --quick)")
    parser.add_argument("--only", metavar="LIBRARIES",
                        help="comma-separated libraries to measure, e.g. Corridex,pyastar2d "
                             "(Corridex's extras are 'Corridex extras')")
    parser.add_argument("--solvers", metavar="NAMES",
                        help="comma-separated Corridex solvers to time (default: all)")
    parser.add_argument("--sizes", metavar="SIZES", help="comma-separated maze sizes")
    parser.add_argument("--json", default=os.path.join(HERE, "results", "bench.json"))
    parser.add_argument("--mazes", metavar="DIR",
                        help="keep the mazes in DIR and reuse them on later runs, so that two "
                             "builds are timed on the same mazes")
    args = parser.parse_args()
    sizes = [100, 200] if args.quick else [200, 1000, 2000]
    all_pairs_sizes = [40] if args.quick else [40, 100]
    if args.sizes:
        sizes, all_pairs_sizes = [int(size) for size in args.sizes.split(",")], []
    solvers = [name for name in SOLVERS if not args.solvers or name in args.solvers.split(",")]
    rounds = args.rounds or (2 if args.quick else ROUNDS)
    began = time.monotonic()
    collected, errors, peaks, slow = {}, {}, {}, {}
    with tempfile.TemporaryDirectory() as folder:
        if args.mazes:
            os.makedirs(args.mazes, exist_ok=True)
        mazes = make_mazes(sizes, all_pairs_sizes, args.mazes or folder)
        plan = [(label, tasks) for label, tasks in plan_workers(mazes, sizes, all_pairs_sizes, solvers)
                if tasks and (not args.only or label in args.only.split(","))]
        for number in range(rounds):
            print(f"round {number + 1} of {rounds}", file=sys.stderr, flush=True)
            run_round(plan, folder, slow, collected, errors, peaks)
        rows, errors = build_rows(plan, collected, errors)
    problems = check_lengths(rows)
    if problems:
        print("route lengths disagree; no times reported:\n  " + "\n  ".join(problems))
        for error in errors:
            print(f"NOT MEASURED: {error}")
        sys.exit(1)
    summary, goals = report(rows, peaks, errors, [m["name"] for m in mazes], sizes[-1],
                            (all_pairs_sizes or [None])[0], (all_pairs_sizes or [None])[-1],
                            rounds)
    wall = time.monotonic() - began
    print(f"\nwall time {wall:.0f} s")
    os.makedirs(os.path.dirname(os.path.abspath(args.json)), exist_ok=True)
    with open(args.json, "w") as handle:
        json.dump(dict(rows=rows, summary=summary, goals=goals, peaks=peaks, errors=errors,
                       rounds=rounds, wall_seconds=wall), handle, indent=1)
    print(f"figures written to {args.json}")


if __name__ == "__main__":
    main()
