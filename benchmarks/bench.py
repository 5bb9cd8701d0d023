"""Corridex against peer libraries, end to end, on the same mazes.

    python benchmarks/bench.py            # grids of about 200², 1000² and 2000² (under 10 minutes)
    python benchmarks/bench.py --quick    # about a minute
    python benchmarks/bench.py --json out.json

Each library runs in a fresh subprocess, so that its peak resident size is its own. Every time
includes what a user of that library would do: for Corridex, construction (grid conversion and
graph building) + solve() + SrcToDestPath(); for a peer, its own input preparation and search.
Times are medians of three to five runs after a warm-up; a peer whose warm-up alone takes over a
second is measured by that run. mazelib's generator is timed in CPU seconds, at most 60 per
size; where it runs out, the figure is a lower bound. A worker that fails is reported with its
reason (exit code or signal, time or memory limit, end of stderr) and the next one goes on.
Before any time is printed, every result that promises a shortest route must report the same
length on the same maze.
"""

from __future__ import annotations

import argparse
import concurrent.futures
import ctypes
import dataclasses
import json
import os
import signal
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
    "DepthFirstSearch": peers.DEPTH_FIRST,
    "BreadthFirstSearch": peers.BREADTH_FIRST,
    "DijkstraAlgorithm": peers.DIJKSTRA,
    "AStar": peers.ASTAR,
    "BellmanFord": peers.BELLMAN_FORD,
    "FloydWarshall": peers.ALL_PAIRS,
}
# Solvers whose route is a shortest one on any maze; the others only on loop-free mazes.
LIST_TO_ARRAY = "numpy.array(list, dtype=bool)"
ALWAYS_SHORTEST = {"BreadthFirstSearch", "BellmanFord", "FloydWarshall"}

# After a warm-up, between MIN_RUNS and MAX_RUNS timed runs: more only while they add up to less
# than BUDGET seconds. A peer whose warm-up alone took longer than BUDGET is measured by that
# one run (the full run has to fit in ten minutes on two cores).
MIN_RUNS, MAX_RUNS = 3, 5
BUDGET = 1.0
TASK_LIMIT = 150  # seconds one measurement may take before its worker is stopped
# mazelib's generator grows faster than the grid (about 50 s at 1000², several minutes at
# 2000²). Each size gets this many CPU seconds; when they run out, its time and the ratio are
# lower bounds.
GENERATION_CPU_LIMIT = 60
# A worker whose resident size passes this is stopped before the kernel's out-of-memory killer
# picks a victim (it once took a whole rustworkx worker down with nothing on stderr).
MEMORY_CAP = min(8 << 30, os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") // 2)


def median_time(run, summary=lambda result: result, slow=False, clock=time.perf_counter):
    """(median seconds, timed runs, summary of the last result) of `run` after one warm-up.

    With `slow`, a warm-up over BUDGET is the only run. Each result goes through `summary` and is
    dropped outside the timed region and before the next run starts, so that a large result (a
    route, millions of cells) neither counts in the time nor doubles the peak memory."""
    start = clock()
    result = run()
    warm_up = clock() - start
    kept = summary(result)
    del result
    if slow and warm_up > BUDGET:
        return warm_up, 1, kept
    times = []
    while len(times) < MAX_RUNS and (len(times) < MIN_RUNS or sum(times) < BUDGET):
        start = clock()
        result = run()
        times.append(clock() - start)
        kept = summary(result)
        del result
    return statistics.median(times), len(times), kept


# --- the mazes -----------------------------------------------------------------------------


def maze_files(size, all_pairs, folder):
    """[(name, kind, path)] of the mazes made at one size."""
    kinds = ["perfect", "loops"] + ([] if all_pairs else ["open70"])
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
            # About 70% open at random, with the top row and the right column open so that the
            # corners are always joined.
            open_grid = rng.random(grid.shape) < 0.7
            open_grid[0, :] = True
            open_grid[:, -1] = True
            kinds.append(("open70", open_grid))
        for (kind, maze), (name, _, path) in zip(kinds, files):
            np.save(path, maze)
            mazes.append(dict(name=name, size=size, kind=kind, path=path, all_pairs=all_pairs))
    return mazes


def ends(shape, kind):
    """Opposite corners: open70 grids are open there; generated mazes one cell in."""
    inset = 1 if kind == "open70" else 2
    return (0, 0), (shape[0] - inset, shape[1] - inset)


# --- what each worker measures ---------------------------------------------------------------
# A task is a small JSON dict. Workers stream one JSON line per event, so that whatever was
# measured before a failure survives it, and the parent knows which task was running.


def corridex_tasks(mazes):
    return [dict(kind="corridex", maze=maze, form=form)
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


def measure_corridex(task):
    """Every solver on one maze in one input form; TraversedNodes() timed on the numpy form.

    Yields a row per solver, so that a crash loses only the solver that crashed."""
    import Corridex

    maze = task["maze"]
    grid = np.load(maze["path"])
    start, end = ends(grid.shape, maze["kind"])
    if task["form"] == "list":
        grid = grid.tolist()  # the array is no longer needed
        # What a peer's user holding this list pays first: peers take NumPy arrays.
        seconds, runs, _ = median_time(lambda: np.array(grid, dtype=bool), len)
        yield dict(library="numpy", name=LIST_TO_ARRAY, maze=maze["name"], seconds=seconds,
                   runs=runs)
    s, e = Corridex.Index(*start), Corridex.Index(*end)
    for solver in (["FloydWarshall"] if maze["all_pairs"] else SOLVERS):
        cls = getattr(Corridex, solver)

        def run():
            obj = cls(grid, s, e)
            obj.solve()
            return obj, obj.SrcToDestPath()

        def summary(result):
            obj, route = result
            return (len(route) - 1, obj.SrcToDestDistance()) if route else (None, None)

        seconds, runs, (steps, length) = median_time(run, summary)
        row = dict(library="Corridex", name=f"{solver} ({task['form']})", solver=solver,
                   form=task["form"], maze=maze["name"], seconds=seconds, runs=runs,
                   length=length, steps=steps)
        if task["form"] == "numpy":
            # One more solve, untimed: the timed ones are gone, so one solver is alive at a time.
            obj = cls(grid, s, e)
            obj.solve()
            row["traversed_seconds"], row["traversed_runs"], row["traversed"] = median_time(
                obj.TraversedNodes, len)
            del obj
        yield row


def measure_extras(task):
    """Grid conversion, result hand-back and generation, each beside its yardstick."""
    import Corridex

    size = task["size"]
    if task["what"] == "conversion":
        walls = [[False] * size for _ in range(size)]
        # On an all-wall grid construction is the conversion alone: there is no graph to build.
        convert, runs, _ = median_time(
            lambda: Corridex.DepthFirstSearch(walls, Corridex.Index(), Corridex.Index()))
        numpy_convert, _, _ = median_time(lambda: np.array(walls, dtype=bool))
        return [dict(library="Corridex", name="grid conversion (list)", maze=f"walls-{size}",
                     seconds=convert, runs=runs,
                     yardsticks={"numpy.array(grid, dtype=bool)": numpy_convert})]
    if task["what"] == "hand-back":
        return [measure_hand_back(Corridex, size)]
    libc = ctypes.CDLL(None)
    libc.srand(1)
    generate, runs, _ = median_time(lambda: Corridex.RandomMazeGenerator(size, size).generate(),
                                    len)
    return [dict(library="Corridex", name="RandomMazeGenerator.generate",
                 maze=f"perfect-{size}", seconds=generate, runs=runs)]


def measure_hand_back(Corridex, size):
    """TraversedNodes() per Index on an open grid, beside building as many 2-tuples of ints."""
    open_grid = [[True] * size for _ in range(size)]
    solver = Corridex.BreadthFirstSearch(open_grid, Corridex.Index(0, 0),
                                         Corridex.Index(size - 1, size - 1))
    del open_grid
    solver.solve()
    count = solver.TraversedNodesNo()
    per_index, runs, _ = median_time(solver.TraversedNodes, len)
    del solver
    # Yardsticks: a tuple per element built by the interpreter, and one built at C speed.
    numbers = list(range(count))
    python_loop, _, _ = median_time(lambda: [(i, i) for i in numbers], len)
    del numbers
    rows = [i // size for i in range(count)]
    cols = [i % size for i in range(count)]
    c_speed, _, _ = median_time(lambda: list(zip(rows, cols)), len)
    return dict(library="Corridex", name="TraversedNodes per Index", maze=f"open-{size}",
                seconds=per_index / count, runs=runs, count=count,
                yardsticks={"2-tuple, Python loop [(i, i) for i in ints]": python_loop / count,
                            "2-tuple, C speed list(zip(rows, cols))": c_speed / count})


def measure_peer(task):
    peer = next(p for p in peers.PEERS if p.name == task["peer"])
    maze = task["maze"]
    grid = np.load(maze["path"])
    start, end = ends(grid.shape, maze["kind"])
    seconds, runs, length = median_time(lambda: peer.run(grid, start, end), slow=True)
    return [dict(library=peer.library, name=peer.name, family=peer.family, maze=maze["name"],
                 seconds=seconds, runs=runs, length=length, shortest=peer.shortest,
                 note=peer.note)]


def measure_mazelib(task):
    # CPU time, not wall time: the sizes run side by side (see run_mazelib). The generator is
    # single-threaded Python, so on an idle core the two agree.
    size = task["size"]
    seconds, runs, _ = median_time(lambda: peers.mazelib_generate(size, 1), len, slow=True,
                                   clock=time.process_time)
    return [dict(library="mazelib", name="BacktrackingGenerator", maze=f"perfect-{size}",
                 seconds=seconds, runs=runs)]


MEASURE = dict(corridex=measure_corridex, extras=measure_extras, peer=measure_peer,
               mazelib=measure_mazelib)


def worker_main(job_path):
    with open(job_path) as handle:
        tasks = json.load(handle)

    def emit(**event):
        print(json.dumps(event), flush=True)

    for index, task in enumerate(tasks):
        print(f"measuring {describe(task)}", file=sys.stderr, flush=True)
        emit(start=index, cpu=time.process_time())
        for row in MEASURE[task["kind"]](task):
            emit(row=row)
        emit(done=index)
    # Not getrusage's ru_maxrss: a child starts with its parent's high-water mark.
    emit(peak_mib=proc_status(os.getpid())[1])


# --- running workers -------------------------------------------------------------------------


def proc_status(pid):
    """(resident MiB, peak resident MiB) of a live process, from /proc; (0, 0) once it is gone."""
    fields = {}
    try:
        with open(f"/proc/{pid}/status") as handle:
            for line in handle:
                key, _, value = line.partition(":")
                fields[key] = value
    except OSError:
        return 0.0, 0.0
    kib = lambda key: int(fields.get(key, "0 kB").split()[0])  # noqa: E731
    return kib("VmRSS") / 1024, kib("VmHWM") / 1024


def proc_cpu_seconds(pid):
    try:
        with open(f"/proc/{pid}/stat") as handle:
            fields = handle.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")  # utime + stime


def stderr_tail(path, lines=5):
    """The last lines of a worker's stderr on one line, without the ^^^ marker lines."""
    with open(path, errors="replace") as handle:
        tail = [line.strip() for line in handle if line.strip(" ^~\n")][-lines:]
    return " | ".join(tail)


def exit_reason(returncode):
    if returncode < 0:
        name = signal.Signals(-returncode).name
        hint = " (the kernel's out-of-memory killer?)" if returncode == -signal.SIGKILL else ""
        return f"killed by {name}{hint}"
    return f"exit code {returncode}"


@dataclasses.dataclass
class Outcome:
    rows: list
    done: int  # tasks completed
    peak_mib: float
    error: str | None = None
    timed_out: bool = False
    cpu_seconds: float | None = None  # CPU time the unfinished task had used


def read_events(reader):
    """The complete JSON lines written since the last call; a half-written one waits."""
    while True:
        position = reader.tell()
        line = reader.readline()
        if not line.endswith("\n"):
            reader.seek(position)
            return
        yield json.loads(line)


def watch(proc, task, task_started, task_cpu, outcome):
    """Stops the worker when its task runs over its time or the worker over the memory cap."""
    resident, peak = proc_status(proc.pid)
    outcome.peak_mib = max(outcome.peak_mib, peak)
    cpu = proc_cpu_seconds(proc.pid)
    cpu_used = cpu - task_cpu if cpu is not None else None
    if time.monotonic() - task_started > TASK_LIMIT:
        outcome.error, outcome.timed_out = f"timed out after {TASK_LIMIT} s", True
    elif cpu_used is not None and cpu_used > task.get("cpu_limit", float("inf")):
        outcome.error = f"ran out of its {task['cpu_limit']} CPU seconds"
        outcome.timed_out = True
    if outcome.timed_out:
        outcome.cpu_seconds = cpu_used
        proc.kill()
    elif resident * 2**20 > MEMORY_CAP:
        outcome.error = (f"stopped at {resident:.0f} MiB resident, over the "
                         f"{MEMORY_CAP >> 20} MiB cap")
        proc.kill()


def run_process(tasks, folder):
    """Runs tasks in one fresh worker, watching its time per task and its resident size."""
    folder = tempfile.mkdtemp(dir=folder)  # workers may run side by side
    job = os.path.join(folder, "job.json")
    with open(job, "w") as handle:
        json.dump(tasks, handle)
    out_path, err_path = os.path.join(folder, "worker.out"), os.path.join(folder, "worker.err")
    with open(out_path, "w") as out, open(err_path, "w") as err:
        proc = subprocess.Popen([sys.executable, __file__, "--worker", job], stdout=out,
                                stderr=err)
    outcome = Outcome(rows=[], done=0, peak_mib=0.0)
    task_started, task_cpu = time.monotonic(), 0.0
    try:
        with open(out_path) as reader:
            while True:
                finished = proc.poll() is not None
                for event in read_events(reader):
                    if "row" in event:
                        outcome.rows.append(event["row"])
                    elif "start" in event:
                        task_started, task_cpu = time.monotonic(), event["cpu"]
                    elif "done" in event:
                        outcome.done = event["done"] + 1
                    elif "peak_mib" in event:
                        outcome.peak_mib = event["peak_mib"]
                if finished:
                    break
                if outcome.error is None:  # not yet stopped by us
                    watch(proc, tasks[min(outcome.done, len(tasks) - 1)], task_started,
                          task_cpu, outcome)
                time.sleep(0.1)
    finally:
        if proc.poll() is None:
            proc.kill()
        proc.wait()
    if outcome.error is None and proc.returncode != 0:
        outcome.error = exit_reason(proc.returncode)
    if outcome.error:
        tail = stderr_tail(err_path)
        outcome.error += f"; stderr: {tail}" if tail else "; nothing on stderr"
    return outcome


def run_worker(tasks, folder):
    """Runs tasks in fresh workers; after a failure, a new worker goes on with the next task.

    Returns (rows, peak MiB, errors). A mazelib generation that runs out of time is no error:
    its row gets the CPU time it used as a lower bound."""
    rows, errors, peak = [], [], 0.0
    while tasks:
        outcome = run_process(tasks, folder)
        rows += outcome.rows
        peak = max(peak, outcome.peak_mib)
        if outcome.error is None:
            break
        failed = tasks[outcome.done]
        if failed["kind"] == "mazelib" and outcome.timed_out and outcome.cpu_seconds:
            rows.append(dict(library="mazelib", name="BacktrackingGenerator",
                             maze=f"perfect-{failed['size']}", seconds=None, runs=0,
                             lower_bound=outcome.cpu_seconds))
        else:
            errors.append(f"{describe(failed)}: {outcome.error}")
        tasks = tasks[outcome.done + 1:]
    return rows, peak, errors


def run_side_by_side(tasks, folder):
    """Each task in its own worker, two at a time: for mazelib's generator, whose large sizes
    take minutes of pure Python. It is timed in CPU seconds, so a neighbour does not skew it."""
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(lambda task: run_worker([task], folder), tasks))
    rows = [row for worker_rows, _, _ in results for row in worker_rows]
    errors = [error for _, _, worker_errors in results for error in worker_errors]
    return rows, max(peak for _, peak, _ in results), errors


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


def print_notes(summary, tiny):
    print("\nratio = fastest same-family peer's time / Corridex's time (above 1: Corridex is faster)."
          "\nFrom a list, a peer's time includes converting that list with numpy.array: peers "
          "take arrays."
          f"\n* = a slow peer, measured once: its warm-up alone took over {BUDGET:.0f} s.")
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


def report(rows, peaks, errors, maze_order, largest, tiny, all_pairs_size):
    summary = print_table(rows, maze_order)
    print_notes(summary, tiny)
    print_extras(rows)
    print_generation(rows)
    print("\npeak resident size per worker (MiB; Corridex holds one solver at a time and its "
          "TraversedNodes() list): " + ", ".join(f"{k} {v:.0f}" for k, v in peaks.items() if v))
    for error in errors:
        print(f"NOT MEASURED: {error}")
    goals = goal_lines(rows, summary, largest, all_pairs_size)
    print_goals(goals)
    return summary, goals


# --- main ------------------------------------------------------------------------------------


def plan_workers(mazes, sizes, all_pairs_sizes):
    """(label, tasks) per worker, each library in its own."""
    small, tiny = sizes[0], all_pairs_sizes[0]
    plan = [("Corridex", corridex_tasks(mazes)), ("Corridex extras", extras_tasks(sizes))]
    for library in ["tcod", "pyastar2d", "scipy", "rustworkx", "networkx", "pathfinding"]:
        plan.append((library, peer_tasks(library, mazes, small, tiny)))
    plan.append(("mazelib", mazelib_tasks(sizes)))
    return plan


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="small mazes only, about a minute")
    parser.add_argument("--json", default=os.path.join(HERE, "results", "bench.json"))
    parser.add_argument("--mazes", metavar="DIR",
                        help="keep the mazes in DIR and reuse them on later runs, so that two "
                             "builds are timed on the same mazes")
    parser.add_argument("--worker", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        return worker_main(args.worker)
    sizes = [100, 200] if args.quick else [200, 1000, 2000]
    all_pairs_sizes = [40] if args.quick else [40, 100]
    began = time.monotonic()
    rows, peaks, errors, worker_seconds = [], {}, [], {}
    with tempfile.TemporaryDirectory() as folder:
        if args.mazes:
            os.makedirs(args.mazes, exist_ok=True)
        mazes = make_mazes(sizes, all_pairs_sizes, args.mazes or folder)
        for label, tasks in plan_workers(mazes, sizes, all_pairs_sizes):
            print(f"measuring {label} ({len(tasks)} tasks) ...", end="", file=sys.stderr,
                  flush=True)
            worker_began = time.monotonic()
            run = run_side_by_side if label == "mazelib" else run_worker
            worker_rows, peaks[label], worker_errors = run(tasks, folder)
            worker_seconds[label] = time.monotonic() - worker_began
            print(f" {worker_seconds[label]:.0f} s", file=sys.stderr, flush=True)
            rows += worker_rows
            errors += [f"{label}: {error}" for error in worker_errors]
    problems = check_lengths(rows)
    if problems:
        print("route lengths disagree; no times reported:\n  " + "\n  ".join(problems))
        for error in errors:
            print(f"NOT MEASURED: {error}")
        sys.exit(1)
    summary, goals = report(rows, peaks, errors, [m["name"] for m in mazes], sizes[-1],
                            all_pairs_sizes[0], all_pairs_sizes[-1])
    wall = time.monotonic() - began
    print(f"\nwall time {wall:.0f} s")
    os.makedirs(os.path.dirname(os.path.abspath(args.json)), exist_ok=True)
    with open(args.json, "w") as handle:
        json.dump(dict(rows=rows, summary=summary, goals=goals, peaks=peaks, errors=errors,
                       worker_seconds=worker_seconds, wall_seconds=wall), handle, indent=1)
    print(f"figures written to {args.json}")


if __name__ == "__main__":
    main()
