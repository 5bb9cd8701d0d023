"""The dataset job's task code against a plain loop over the same mazes, and against maze-dataset.

    python benchmarks/dataset_task.py                       # sizes 61 and 201, 5 rounds
    python benchmarks/dataset_task.py --sizes 61 --rounds 3 --seconds 1

In one process, mazes per second of:

- the plain loop: seed rand, generate, and for each solver construct, solve() and read
  SrcToDestPath(), nothing kept: the least any job can do for the same mazes;
- the task code: corridex_dataset.write_batch, which does that and also turns the grid into a
  NumPy array, reads every route into columns, packs and hashes the grid, and writes the batch as
  a Parquet file with page checksums;
- maze-dataset, when it is installed in this interpreter (`pip install maze-dataset`, in a
  venv of its own: it is not one of this project's dependencies): MazeDataset.from_config with
  gen_dfs on the same number of maze cells, size // 2 a side, which carves each maze and finds
  its one shortest route; no solver choice there.

Each for every solver (FloydWarshall where the job would run it) and for BreadthFirstSearch
alone. The variants take turns within each round, so that each sees the same spells of a busy
machine; each figure is the median over the rounds of mazes made in at least --seconds, in
calls of one batch each, of the size the job would choose (about half a second of work).
"""

from __future__ import annotations

import argparse
import logging
import os
import shutil
import statistics
import sys
import tempfile
import time
from typing import Callable, Dict, List, Optional, Tuple

import Corridex
import corridex_dataset as dataset
from Corridex import Index


def plain_loop(size: int, solvers: Tuple[str, ...]) -> Callable[[int, int], None]:
    classes = [getattr(Corridex, name) for name in solvers]

    def run(first: int, count: int) -> None:
        for maze_id in range(first, first + count):
            dataset._C_RUNTIME.srand(dataset.maze_seed(1, maze_id))
            grid = Corridex.RandomMazeGenerator(size, size).generate()
            end = Index(len(grid) - 2, len(grid[0]) - 2)
            for solver_class in classes:
                solver = solver_class(grid, Index(0, 0), end)
                solver.solve()
                solver.SrcToDestPath()

    return run


def task_code(out: str, size: int, solvers: Tuple[str, ...]) -> Callable[[int, int], None]:
    def run(first: int, count: int) -> None:
        job = dataset.Job(mazes=first + count, size=size, solvers=solvers, seed=1,
                          batch_size=count)
        dataset.write_batch(out, job, 0, first, count)

    return run


def maze_dataset(size: int) -> Optional[Callable[[int, int], None]]:
    try:
        from maze_dataset import MazeDataset, MazeDatasetConfig
        from maze_dataset.generation import LatticeMazeGenerators
    except ImportError:
        return None

    def run(first: int, count: int) -> None:
        config = MazeDatasetConfig(name=f"bench-{first}", grid_n=size // 2, n_mazes=count,
                                   maze_ctor=LatticeMazeGenerators.gen_dfs)
        made = MazeDataset.from_config(config, do_download=False, load_local=False,
                                       do_generate=True, save_local=False, verbose=False,
                                       gen_parallel=False)
        assert len(made) == count and made[0].solution is not None

    return run


def rate(run: Callable[[int, int], None], first: int, chunk: int, seconds: float) -> float:
    made = 0
    started = time.perf_counter()
    while True:
        run(first + made, chunk)
        made += chunk
        took = time.perf_counter() - started
        if took >= seconds:
            return made / took


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[61, 201])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--seconds", type=float, default=2.0,
                        help="least time per variant and round")
    args = parser.parse_args()
    logging.getLogger("maze_dataset").setLevel(logging.WARNING)

    scratch = tempfile.mkdtemp(prefix="corridex-dataset-task-")
    out = os.path.join(scratch, "out")
    results: Dict[Tuple[int, str], Dict[str, List[float]]] = {}
    try:
        dataset.prepare(out, dataset.Job(mazes=1, size=5, solvers=("AStar",), seed=1,
                                         batch_size=1))
        for size in args.sizes:
            every, _ = dataset.parse_solvers("all", size)
            for label, solvers in (("all solvers", every),
                                   ("BreadthFirstSearch", ("BreadthFirstSearch",))):
                # The batch the job would choose: about BATCH_SECONDS of work a file.
                chunk = dataset.batch_size(dataset.seconds_per_maze(dataset.Job(
                    mazes=1, size=size, solvers=solvers, seed=1, batch_size=1)), 10**9, 1)
                variants = {
                    "plain loop": plain_loop(size, solvers),
                    "task code": task_code(out, size, solvers),
                }
                peer = maze_dataset(size) if label == "BreadthFirstSearch" else None
                if peer is not None:
                    variants["maze-dataset, gen_dfs + its solution"] = peer
                chunks = {name: chunk for name in variants}
                if peer is not None:  # far slower: calls of about half a second too
                    started = time.perf_counter()
                    peer(0, 1)
                    chunks["maze-dataset, gen_dfs + its solution"] = max(
                        1, round(0.5 / (time.perf_counter() - started)))
                by_name: Dict[str, List[float]] = {name: [] for name in variants}
                first = 0
                for _ in range(args.rounds):
                    for name, run in variants.items():
                        by_name[name].append(rate(run, first, chunks[name], args.seconds))
                        first += 10**6
                results[size, label] = by_name
                print(f"size {size}, {label} ({len(solvers)} solvers, {chunk} mazes a call):",
                      file=sys.stderr, flush=True)
                for name, rates in by_name.items():
                    print(f"    {name}: {statistics.median(rates):.1f} mazes/s", file=sys.stderr,
                          flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    print(f"\nmazes/s, median of {args.rounds} rounds of {args.seconds:g} s or more each\n")
    columns = [(size, label) for size in args.sizes
               for label in ("all solvers", "BreadthFirstSearch")]
    print("| variant | " + " | ".join(f"{size} x {size}, {label}" for size, label in columns)
          + " |")
    print("|---|" + "---|" * len(columns))
    names = []
    for by_name in results.values():
        names += [name for name in by_name if name not in names]
    for name in names:
        cells = [f"{statistics.median(results[c][name]):.1f}" if name in results[c] else "–"
                 for c in columns]
        print(f"| {name} | " + " | ".join(cells) + " |")
    cells = []
    for column in columns:
        medians = {name: statistics.median(rates) for name, rates in results[column].items()}
        cells.append(f"{medians['plain loop'] / medians['task code']:.2f}")
    print("| plain loop / task code | " + " | ".join(cells) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
