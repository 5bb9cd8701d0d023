"""Mazes per second for the dataset job's work, one process against two and against Dask.

    python benchmarks/dataset_throughput.py                 # 61 x 61 and 201 x 201, 3 rounds
    python benchmarks/dataset_throughput.py --sizes 61 --rounds 5 --tasks-per-run 16

Every variant does the same work per maze as the dataset job: carve it after seeding rand,
solve it with every solver (FloydWarshall only up to the job's cell limit), pack it and write
its batch as a Parquet file. Variants: a plain loop in this process, a ProcessPoolExecutor with
2 workers, and the Dask job (corridex_dataset.submit) on a local cluster of 1 and of 2 workers.
Workers are started before the clock runs. The variants take turns within each round, so that
each sees the same spells of a busy machine, and each figure is the median over the rounds.

It also measures what one Dask task costs on top of its work (many empty tasks, one worker, and
the same with two, which shows what the scheduler sustains), and from those projects the rate of
a larger cluster: workers x the one-worker rate, capped by the empty tasks per second handled
here times the mazes per task. The projection assumes workers as fast as this
machine's and a shared file system that keeps up; it is an estimate, not a measurement.
"""

from __future__ import annotations

import argparse
import concurrent.futures
import logging
import os
import shutil
import statistics
import sys
import tempfile
import time
from typing import Callable, Dict, List

import corridex_dataset as dataset


def nothing(value: int) -> int:
    return value


def task_cost(client, tasks: int) -> float:
    """Seconds per empty task, with every task submitted at once (the cost when work queues)."""
    client.gather(client.map(nothing, range(50), pure=False))  # warm
    started = time.perf_counter()
    client.gather(client.map(nothing, range(tasks), pure=False))
    return (time.perf_counter() - started) / tasks


def loop(out_dir: str, job: dataset.Job) -> None:
    for batch in job.batches():
        dataset.write_batch(out_dir, job, *batch)


def pool_runner(pool: concurrent.futures.ProcessPoolExecutor) -> Callable:
    def run(out_dir: str, job: dataset.Job) -> None:
        batches = job.batches()
        list(pool.map(dataset.write_batch, [out_dir] * len(batches), [job] * len(batches),
                      *zip(*batches)))

    return run


def dask_runner(client) -> Callable:
    def run(out_dir: str, job: dataset.Job) -> None:
        dataset.submit(client, out_dir, job)

    return run


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[61, 201])
    parser.add_argument("--tasks-per-run", type=int, default=8,
                        help="batches per variant and round (4 per worker of two)")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--tasks", type=int, default=1000, help="empty tasks for the task cost")
    args = parser.parse_args()

    scratch = tempfile.mkdtemp(prefix="corridex-dataset-bench-")
    one, one_client = dataset.local_cluster(1)
    two, two_client = dataset.local_cluster(2)
    pool = concurrent.futures.ProcessPoolExecutor(max_workers=2)
    # Not every client's comings and goings.
    logging.getLogger("distributed").setLevel(logging.WARNING)
    try:
        list(pool.map(abs, range(2)))
        costs = {"1 worker": [], "2 workers": []}
        for _ in range(args.rounds):
            costs["1 worker"].append(task_cost(one_client, args.tasks))
            costs["2 workers"].append(task_cost(two_client, args.tasks))
        cost = {name: statistics.median(values) for name, values in costs.items()}
        print(f"Dask task cost, median of {args.rounds} runs of {args.tasks} empty tasks: "
              f"{cost['1 worker'] * 1e3:.2f} ms on 1 worker, {cost['2 workers'] * 1e3:.2f} ms "
              "per task on 2 workers")

        variants: Dict[str, Callable] = {
            "plain loop": loop,
            "ProcessPoolExecutor, 2 workers": pool_runner(pool),
            "Dask, 1 worker": dask_runner(one_client),
            "Dask, 2 workers": dask_runner(two_client),
        }
        print(f"\n| variant | {' | '.join(f'{s} x {s}, mazes/s' for s in args.sizes)} |")
        print(f"|---|{'---|' * len(args.sizes)}")
        rates: Dict[int, Dict[str, List[float]]] = {}
        batch_sizes = {}
        for size in args.sizes:
            solvers, _ = dataset.parse_solvers("all", size)
            per_maze = dataset.seconds_per_maze(
                dataset.Job(mazes=1, size=size, solvers=solvers, seed=0, batch_size=1))
            batch = dataset.batch_size(per_maze, 10**9, 1)
            batch_sizes[size] = (batch, per_maze, solvers)
            job = dataset.Job(mazes=args.tasks_per_run * batch, size=size, solvers=solvers,
                              seed=1, batch_size=batch)
            rates[size] = {name: [] for name in variants}
            for _ in range(args.rounds):
                for name, run in variants.items():
                    out = os.path.join(scratch, "out")
                    dataset.prepare(out, job, overwrite=True)
                    started = time.perf_counter()
                    run(out, job)
                    rates[size][name].append(job.mazes / (time.perf_counter() - started))
                    shutil.rmtree(out)
        median = {size: {name: statistics.median(values) for name, values in by_name.items()}
                  for size, by_name in rates.items()}
        for name in variants:
            print(f"| {name} | {' | '.join(f'{median[s][name]:.1f}' for s in args.sizes)} |")
        # The empty-task rate includes the workers' share of each task, so it understates what
        # the scheduler alone sustains: the cap is a cautious one.
        tasks_per_second = 1 / min(cost.values())
        for workers in (16, 64, 256):
            cells = []
            for size in args.sizes:
                handed_out = batch_sizes[size][0] * tasks_per_second
                cells.append(f"{min(workers * median[size]['Dask, 1 worker'], handed_out):.0f}")
            print(f"| projected, {workers} workers | {' | '.join(cells)} |")
        print()
        for size, (batch, per_maze, solvers) in batch_sizes.items():
            share = cost["1 worker"] / (batch * per_maze + cost["1 worker"])
            print(f"{size} x {size}: {per_maze * 1e3:.1f} ms per maze here ({len(solvers)} "
                  f"solvers), {batch} mazes per task, task cost {share:.1%} of a task's time")
    finally:
        pool.shutdown()
        dataset.stop_local_cluster(one, one_client)
        dataset.stop_local_cluster(two, two_client)
        shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
