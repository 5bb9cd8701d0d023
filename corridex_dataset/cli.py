"""The command line of the dataset job: `python examples/dataset.py` or `python -m corridex_dataset`.

    python examples/dataset.py --mazes 100000 --size 61 --solvers all --out mazes.parquet
    python examples/dataset.py --mazes 100000 --size 61 --out mazes.parquet --resume
    python examples/dataset.py --kind loops:0.1 --endpoints random --min-distance 40 \\
        --dedup --images route --out mazes.parquet
    python examples/dataset.py --scheduler tcp://HOST:8786 --mazes 10000000 --out /shared/mazes

Without --scheduler the job starts a cluster on this machine: one worker process per core, one
thread each, listening on 127.0.0.1 only. Each batch of mazes becomes one file of the dataset,
part-NNNNNN.parquet, with one row per maze and solver; a job that is stopped keeps the batches
it finished, and --resume makes the rest. The workers import the tasks from this package,
installed with Corridex (`pip install "Corridex[dataset]"` on each).
"""

from __future__ import annotations

import argparse
import dataclasses
import logging
import os
import secrets
import sys
import time
from typing import Dict, Optional, Sequence

import corridex_dataset as dataset


class Progress:
    """Mazes written so far and their rate: a tqdm bar when tqdm is installed, a line every few
    seconds otherwise."""

    def __init__(self, total: int, done: int) -> None:
        self.total, self.done = total, done
        self.started = time.perf_counter()
        self.made = 0  # by this run, for its rate
        self.printed = self.started
        try:
            from tqdm import tqdm
        except ImportError:
            self.bar = None
        else:
            self.bar = tqdm(total=total, initial=done, unit="maze", dynamic_ncols=True)

    def __call__(self, summary: Dict[str, object]) -> None:
        mazes = int(summary["mazes"])
        self.done += mazes
        self.made += mazes
        if self.bar is not None:
            self.bar.update(mazes)
            return
        now = time.perf_counter()
        if now - self.printed >= 5 or self.done == self.total:
            self.printed = now
            print(f"{self.done} of {self.total} mazes, {self.rate():.1f} mazes/s",
                  file=sys.stderr, flush=True)

    def rate(self) -> float:
        return self.made / max(time.perf_counter() - self.started, 1e-9)

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()


def parse(argv: Optional[Sequence[str]]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True, help="the dataset folder to write")
    parser.add_argument("--mazes", type=int, help="how many mazes (default 1000)")
    parser.add_argument("--size", type=int,
                        help=f"grid rows and columns of each maze, {dataset.MIN_SIZE} or more "
                        "(default 61)")
    parser.add_argument("--solvers", help="'all' (the default) or a comma-separated list of "
                        + ", ".join(dataset.SOLVER_NAMES))
    parser.add_argument("--seed", type=int,
                        help="job seed that every maze's seed comes from (default: a random one, "
                        "printed and stored with the dataset)")
    parser.add_argument("--batch-size", type=int,
                        help=f"mazes per task (default: about {dataset.BATCH_SECONDS} s of work, "
                        "measured here before the job starts)")
    parser.add_argument("--kind", help="maze (the default: the generator's perfect maze), "
                        "loops:P (that maze with each wall between two cells opened with "
                        "probability P) or open:P (a size x size map, each entry open with "
                        "probability P)")
    parser.add_argument("--endpoints", help="corners (the default), random (two open cells "
                        "of one region) or dead-ends (two dead ends of one region)")
    parser.add_argument("--min-distance", type=int,
                        help="keep only mazes whose shortest route has this many steps or more")
    parser.add_argument("--max-distance", type=int,
                        help="keep only mazes whose shortest route has this many steps or fewer")
    parser.add_argument("--dedup", action="store_true", default=None,
                        help="keep one maze of each grid and endpoints across the job")
    parser.add_argument("--images", nargs="?", const="route", choices=("route", "visited"),
                        help="a PNG per row, one pixel per grid entry: the route, or with "
                        "'visited' the visited order shaded too")
    parser.add_argument("--floyd-limit", type=int, default=dataset.FLOYD_WARSHALL_CELL_LIMIT,
                        help="leave FloydWarshall out above this many maze cells (default "
                        f"{dataset.FLOYD_WARSHALL_CELL_LIMIT})")
    parser.add_argument("--scheduler", help="tcp://HOST:PORT of a running Dask scheduler; "
                        "without it a cluster is started on this machine")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                        help="worker processes of the local cluster (default: one per core)")
    parser.add_argument("--dashboard", action="store_true",
                        help="serve the local cluster's dashboard on http://127.0.0.1:8787 "
                        "(needs bokeh)")
    written = parser.add_mutually_exclusive_group()
    written.add_argument("--resume", action="store_true",
                         help="finish a job that was stopped: skip the batches already written")
    written.add_argument("--overwrite", action="store_true",
                         help="replace the dataset at --out")
    args = parser.parse_args(argv)
    if args.workers < 1:
        parser.error("--workers needs 1 or more")
    if args.floyd_limit < 0:
        parser.error("--floyd-limit needs 0 or more")
    return args


OPTIONS = ("mazes", "size", "seed", "batch_size", "kind", "endpoints", "min_distance",
           "max_distance", "dedup", "images")


def plan(args: argparse.Namespace, workers: Optional[int]) -> dataset.Job:
    """The job the options ask for; a resume takes the stored one and refuses other options."""
    out = os.path.abspath(args.out)
    stored = dataset.open_output(out, args.resume, args.overwrite)
    if stored is not None:
        clashes = [f"--{name.replace('_', '-')} {getattr(args, name)}" for name in OPTIONS
                   if getattr(args, name) is not None
                   and getattr(args, name) != getattr(stored, name)]
        if args.solvers is not None:
            solvers, _ = dataset.parse_solvers(args.solvers, stored.size, args.floyd_limit,
                                               stored.grid_kind.name)
            if solvers != stored.solvers:
                clashes.append(f"--solvers {args.solvers}")
        if clashes:
            raise dataset.DatasetError(
                f"{args.out} holds another job ({dataset.describe(stored)}), not "
                f"{' '.join(clashes)}: resume it as it is, or choose --overwrite")
        return stored
    size = 61 if args.size is None else args.size
    try:
        kind = dataset.Kind.parse(args.kind or "maze")
    except dataset.grids.GridError as error:
        raise dataset.DatasetError(str(error)) from None
    solvers, note = dataset.parse_solvers(args.solvers or "all", size, args.floyd_limit,
                                          kind.name)
    job = dataset.Job(
        mazes=1000 if args.mazes is None else args.mazes, size=size, solvers=solvers,
        seed=secrets.randbits(63) if args.seed is None else args.seed,
        batch_size=1 if args.batch_size is None else args.batch_size, kind=str(kind),
        endpoints=args.endpoints or "corners", min_distance=args.min_distance or 0,
        max_distance=args.max_distance, dedup=bool(args.dedup), images=args.images or "")
    dataset.check_job(job)
    if note:
        print(note, file=sys.stderr)
    if args.batch_size is None:
        try:
            per_maze = dataset.seconds_per_maze(job)
        except MemoryError:
            raise dataset.DatasetError(
                f"a maze of size {size} does not fit in this machine's memory") from None
        job = dataclasses.replace(
            job, batch_size=dataset.batch_size(per_maze, job.mazes, workers or 1))
    return job


def connect(args: argparse.Namespace, out: str, job: dataset.Job, stop: dataset.Stop,
            state: Dict[str, object]) -> None:
    """Sets up in `state` the batches already in `out` ("written"), which is made ready first
    for a local cluster, and the cluster and client the job runs on (no cluster object for a
    remote scheduler, no client when every batch is written)."""
    if args.scheduler is None:
        state["written"] = dataset.prepare(out, job, args.resume, args.overwrite)
        if len(state["written"]) == len(job.batches()):
            return
        stop.reached("cluster")
        state["cluster"], state["client"] = dataset.local_cluster(args.workers, args.dashboard)
        return
    from distributed import Client

    client = state["client"] = Client(args.scheduler)
    state["written"] = dataset.prepare(out, job, args.resume, args.overwrite)
    dataset.check_shared(client, out)


def run(args: argparse.Namespace, state: Dict[str, object], stop: dataset.Stop) -> int:
    out = os.path.abspath(args.out)
    job = state["job"] = plan(args, None if args.scheduler else args.workers)
    stop.check()
    connect(args, out, job, stop, state)
    stop.check()
    client, written = state.get("client"), state["written"]
    where = (f"{args.workers} local worker processes" if args.scheduler is None else
             f"{len(client.scheduler_info()['workers'])} workers at {args.scheduler}")
    print(f"{dataset.describe(job)}: {len(job.batches()) - len(written)} batches to make on "
          f"{where}, into {args.out}", file=sys.stderr)
    done = sum(count for number, _, count in job.batches() if number in written)
    progress = state["progress"] = Progress(job.mazes, done)

    def heard(summary: Dict[str, object]) -> None:
        written[int(summary["batch"])] = int(summary["bytes"])
        progress(summary)

    started = time.perf_counter()
    summaries = []
    if client is not None:
        summaries = dataset.submit(client, out, job, skip=written, on_batch=heard, stop=stop)
    made = sum(int(summary["mazes"]) for summary in summaries)
    took = time.perf_counter() - started
    progress.close()
    stop.reached("summary")
    rows = sum(int(summary["rows"]) for summary in summaries)
    kept = "" if not (job.filtered or job.dedup or job.endpoints != "corners") else (
        f" ({rows // len(job.solvers)} kept of {made} made)")
    print(f"{job.mazes} mazes, {sum(written.values()) / 1e6:.1f} MB in {args.out}; this run "
          f"made {made} in {took:.1f} s, {made / max(took, 1e-9):.1f} mazes/s, {rows} rows"
          f"{kept}")
    return 0


def interrupted(args: argparse.Namespace, state: Dict[str, object]) -> str:
    job, written = state.get("job"), state.get("written")
    if written is None:
        return "before any batch was made"
    if len(written) == len(job.batches()):
        return f"all {len(written)} batches are in {args.out}: the job is complete"
    return (f"{len(written)} of {len(job.batches())} batches are in {args.out}; --resume "
            "finishes the job")


def main(argv: Optional[Sequence[str]] = None, stop: Optional[dataset.Stop] = None) -> int:
    """Runs the job; Ctrl-C is taken by `stop`, which is installed here when not given and is
    left to the caller when given."""
    owned = stop is None
    stop = dataset.Stop().install() if stop is None else stop
    args = parse(argv)
    state: Dict[str, object] = {}  # what run() has set up, for the way out
    code = 1
    try:
        code = run(args, state, stop)
    except dataset.DatasetError as error:
        print(f"dataset.py: error: {error}", file=sys.stderr)
        code = 2
    except (dataset.Interrupted, KeyboardInterrupt):
        stop.requested = True
    except Exception as error:  # a batch that failed, or a cluster that could not be had
        print(f"dataset.py: error: {type(error).__name__}: {error}", file=sys.stderr)
        code = 1
    finally:
        if state.get("progress") is not None:
            state["progress"].close()
        cluster, client = state.get("cluster"), state.get("client")
        if stop.requested:
            logging.disable(logging.CRITICAL)  # what the stopping cluster would say is no news
        if cluster is not None:
            # Not finished (stopped, or a batch failed): no waiting for the tasks still running.
            written, job = state["written"], state["job"]
            dataset.stop_local_cluster(cluster, client,
                                       at_once=len(written) < len(job.batches()))
        elif client is not None:
            client.close()
        if owned:
            stop.uninstall()
    if stop.requested:  # at any moment up to here, the summary and the cluster's end included
        print(f"\ninterrupted: {interrupted(args, state)}", file=sys.stderr, flush=True)
        return 130
    return code
