"""Every Corridex solver against the fastest peer of its family, from one asv run.

    python benchmarks/ratios.py                       # 1000 x 1000 grids, three rounds
    python benchmarks/ratios.py --side 200            # smaller grids; pure-Python peers join
    python benchmarks/ratios.py --plot docs/performance.png
    python benchmarks/ratios.py --results FILE        # report an earlier run again

Runs the suite (benchmarks/benchmarks/solvers.py) with asv against the Corridex installed in
this Python, in interleaved rounds (every benchmark once per round, each round a fresh process),
then prints, per family, grid kind and source, Corridex's median time, the fastest peer's, and
the ratio peer / Corridex: above 1, Corridex is faster. Every figure comes from the same run.
"""

from __future__ import annotations

import argparse
import ast
import glob
import itertools
import json
import os
import platform
import subprocess
import sys

from corridex_support.peers import PEERS as ALL_PEERS, peers_of

HERE = os.path.dirname(os.path.abspath(__file__))
SOLVERS = "solvers.Solvers.time_route"
PEERS = "solvers.Peers.time_route"
ALL_PAIRS = "solvers.AllPairs.time_route"
# What each round runs; AStar's expansions and (with --check) every route's length, which do
# not vary, in the first only.
TIMES = r"^solvers\.(Solvers|Peers|ListToArray|AllPairs|Rest)\.time_"
COUNTS = r"^solvers\.Expansions\."
STEPS = r"^solvers\.(Solvers|Peers)\.track_steps"


def run_suite(side, rounds, check):
    """Runs the suite with asv, `rounds` passes over every benchmark, each pass adding its
    samples to the last (what asv's --interleave-rounds does, which it offers only for the
    environments it builds); returns the results file."""
    commit = subprocess.run(["git", "rev-parse", "HEAD"], cwd=HERE, capture_output=True,
                            text=True, check=True).stdout.strip()
    asv = [sys.executable, "-m", "asv"]
    environment = dict(os.environ, CORRIDEX_BENCH_SIDE=str(side))
    subprocess.run(asv + ["machine", "--yes"], cwd=HERE, check=True, stdout=subprocess.DEVNULL)
    pattern = os.path.join(HERE, ".asv", "results", "*", f"{commit[:8]}-existing-*.json")
    for earlier in glob.glob(pattern):  # an earlier run of this commit, perhaps at another side
        os.remove(earlier)
    for number in range(rounds):
        print(f"round {number + 1} of {rounds}", flush=True)
        subprocess.run(asv + ["run", "--python=same", f"--set-commit-hash={commit}",
                              "--attribute", "rounds=1", "--show-stderr", "--record-samples",
                              "--bench", "|".join([TIMES] + ([] if number else [COUNTS])
                                                  + ([STEPS] if check and not number else []))]
                       + (["--append-samples"] if number else []),
                       cwd=HERE, env=environment)  # a failed benchmark is reported, not fatal
    return max(glob.glob(pattern), key=os.path.getmtime)


def load(path):
    """{(benchmark, params): value} of an asv results file; None where a benchmark did not run."""
    data = json.load(open(path))
    columns = data["result_columns"]
    values, axes = {}, {}
    for name, row in data["results"].items():
        row = dict(zip(columns, row))
        axes[name] = [[ast.literal_eval(p) for p in axis] for axis in row["params"]]
        for combination, value in zip(itertools.product(*axes[name]), row["result"] or []):
            values[name, combination] = value
    return values, axes


def fastest_peer(values, solver, kind, source):
    """(name, seconds) of the fastest peer of `solver` on a grid kind, with numpy.array on the
    lists added for the list source; None when no peer ran."""
    times = {p.name: values.get((PEERS, (p.name, kind))) for p in peers_of(solver)}
    times = {name: t for name, t in times.items() if t is not None}
    if not times:
        return None
    name = min(times, key=times.get)
    if source == "list":
        return name + " + numpy.array", times[name] + values[
            "solvers.ListToArray.time_numpy_array", (kind,)]
    return name, times[name]


def rows_of(values, axes):
    """[(solver, kind, source, Corridex seconds, peer name, peer seconds, ratio)]."""
    rows = []
    for solver, kind, source in itertools.product(*axes[SOLVERS]):
        mine = values.get((SOLVERS, (solver, kind, source)))
        best = fastest_peer(values, solver, kind, source)
        if mine and best:
            rows.append((solver, kind, source, mine, *best, best[1] / mine))
    contenders, kinds = axes.get(ALL_PAIRS, ([], []))
    for solver, kind in itertools.product(contenders, kinds):
        mine = values.get((ALL_PAIRS, (solver, kind)))
        theirs = {p.name: values.get((ALL_PAIRS, (p.name, kind))) for p in peers_of(solver)}
        theirs = {name: t for name, t in theirs.items() if t is not None}
        if mine and theirs:
            best = min(theirs, key=theirs.get)
            rows.append((solver, f"small {kind}", "numpy", mine, best, theirs[best],
                         theirs[best] / mine))
    return rows


def check_steps(values):
    """Lines naming every shortest-route result that disagrees with BreadthFirstSearch's."""
    shortest = {p.name for p in ALL_PEERS if p.shortest} | {"BreadthFirstSearch", "BellmanFord"}
    problems = []
    for (name, params), steps in values.items():
        if not name.endswith("track_steps") or steps is None or params[0] not in shortest:
            continue
        kind = params[1]
        fewest = values.get(("solvers.Solvers.track_steps", ("BreadthFirstSearch", kind, "numpy")))
        if fewest is not None and steps != fewest:
            problems.append(f"{params[0]} on {kind}: {steps} steps, BreadthFirstSearch {fewest}")
    return problems


def machine():
    model = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                  if line.startswith("model name")), platform.processor())
    return (f"{model}, {os.cpu_count()} cores, {platform.system()}, Python "
            f"{platform.python_version()}; load average {os.getloadavg()[1]:.0f} (5 min) at the end")


def report(values, rows, side):
    print(f"\n{'solver':18} {'grid':16} {'from':6} {'Corridex':>10}  {'fastest peer':44} "
          f"{'peer':>10} {'ratio':>7}")
    for solver, kind, source, mine, peer, theirs, ratio in rows:
        print(f"{solver:18} {kind:16} {source:6} {mine * 1e3:8.2f}ms  {peer[:44]:44} "
              f"{theirs * 1e3:8.2f}ms {ratio:6.2f}x")
    print(f"\nratio = fastest same-family peer's median / Corridex's median, CPU time, {side} x "
          f"{side} grids, end to end (above 1: Corridex is faster)")
    expansions = {kind: values.get(("solvers.Expansions.track_astar", (kind,)))
                  for kind in ("maze", "85% open", "100% open")}
    print("AStar expansions: " + ", ".join(f"{k} {v:,.0f}" for k, v in expansions.items() if v))
    rest = [values.get(("solvers.Rest.time_astar", (before,)))
            for before in ("back to back", "after 1.2 s of rest")]
    if all(rest):
        print(f"AStar on the 100% open grid from NumPy: {rest[0] * 1e3:.2f} ms back to back, "
              f"{rest[1] * 1e3:.2f} ms after 1.2 s of rest")
    for problem in check_steps(values):
        print(f"ROUTE LENGTHS DISAGREE: {problem}")
    print(f"machine: {machine()}")


def plot(rows, path, side, command):
    """Ratios per family and grid kind, one panel per source, each cell naming the peer."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np
    from matplotlib.colors import LogNorm

    figure, axes = plt.subplots(2, 1, figsize=(15, 11), layout="constrained",
                                height_ratios=(6, 5))
    for axis, source in zip(axes, ("numpy", "list")):
        chosen = [r for r in rows if r[2] == source]
        solvers = list(dict.fromkeys(r[0] for r in chosen))
        kinds = list(dict.fromkeys(r[1] for r in chosen))
        ratio = np.full((len(solvers), len(kinds)), np.nan)
        for solver, kind, _, _, peer, _, value in chosen:
            i, j = solvers.index(solver), kinds.index(kind)
            ratio[i, j] = value
            label = peer.replace(" + numpy.array", "").replace("_shortest_path_lengths", "")
            label = label.split(" (")[0] if len(label) > 28 else label
            axis.text(j, i, f"{value:.2f}x", ha="center", va="bottom", fontsize=13,
                      fontweight="bold")
            axis.text(j, i, label, ha="center", va="top", fontsize=8.5)
        axis.imshow(ratio, cmap="RdYlGn", norm=LogNorm(vmin=0.1, vmax=10), aspect="auto")
        axis.set_xticks(range(len(kinds)), kinds, fontsize=11)
        axis.set_yticks(range(len(solvers)), solvers, fontsize=11)
        axis.set_title(f"grid from {'a NumPy array' if source == 'numpy' else 'lists'}: fastest "
                       f"peer's median CPU time / Corridex's, {side} x {side} (FloydWarshall: "
                       "small mazes); above 1 Corridex is faster")
    figure.suptitle(f"Corridex against the fastest peer of each family, end to end\n{machine()}\n"
                    f"{command}", fontsize=10)
    figure.savefig(path, dpi=80)
    print(f"picture written to {path}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--side", type=int, default=1000)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--results", help="an asv results file to report instead of running")
    parser.add_argument("--plot", metavar="PNG", help="draw the ratios into this picture")
    parser.add_argument("--check", action="store_true",
                        help="also check that every shortest route found has the same length")
    args = parser.parse_args()
    path = args.results or run_suite(args.side, args.rounds, args.check)
    values, axes = load(path)
    rows = rows_of(values, axes)
    report(values, rows, args.side)
    if args.plot:
        plot(rows, args.plot, args.side, "python benchmarks/ratios.py " + " ".join(sys.argv[1:]))


if __name__ == "__main__":
    main()
