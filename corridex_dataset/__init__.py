"""The dataset job: generate, solve and write batches of mazes on Dask workers.

`python examples/dataset.py` (or `python -m corridex_dataset`) runs it; this module holds the
tasks, which every worker imports, so it holds no script state: a `Job` says what to make,
`write_batch` makes one batch of it and writes it as one Parquet file, and `prepare` and
`submit` are what the client side calls. A worker needs Corridex installed with its `dataset`
extra, which brings this package.

Each maze gets its own seed for the C runtime's `rand`, which shuffles the directions at every
cell; the start cell comes from the clock second, which nothing can set. So a seed repeats a
maze only within the same second, and the dataset stores every grid itself, as packed bits.
What the job adds to a maze (loops, open maps, endpoints) is drawn from a NumPy generator
seeded with the job seed and the maze id (`grids.maze_rng`), and repeats from those.
"""

from __future__ import annotations

import contextlib
import ctypes
import ctypes.util
import dataclasses
import functools
import hashlib
import itertools
import json
import operator
import os
import queue
import re
import shutil
import signal
import sys
import threading
import time
import uuid
from typing import Callable, Dict, Iterable, List, Optional, Sequence, Tuple

import numpy as np
import pyarrow as pa
import pyarrow.parquet as pq

from distributed.diagnostics.plugin import WorkerPlugin

import Corridex
from Corridex import Index

from corridex_dataset import grids, images
from corridex_dataset.grids import Kind

# The solver classes in the order the module registers them (DepthFirstSearch first,
# FloydWarshall last), read from the module so that the list cannot fall behind it.
SOLVER_NAMES = tuple(
    name
    for name, value in vars(Corridex).items()
    if isinstance(value, type) and hasattr(value, "solve")
)
# FloydWarshall's time grows with the cube of the corridor nodes; above this many maze cells it
# is left out, as the demo does.
FLOYD_WARSHALL_CELL_LIMIT = 2500
# Two cells at least, so that the start and the end of each route differ.
MIN_SIZE = 4
# Seeds for srand run from 1 to 2**31 - 2, positive 31-bit values that no C runtime takes
# alike (glibc's srand(0) is its srand(1), and it folds larger seeds modulo 2**31 - 1).
SEED_COUNT = 2**31 - 2
# Each task should do this much work: a Dask task costs a few milliseconds to schedule, run and
# report, which is then about 1% of it, and a batch stays small in a worker's memory.
BATCH_SECONDS = 0.5

JOB_FILE = "_corridex_job.json"  # readers skip names that start with "_" or "."
PART_NAME = re.compile(r"part-(\d{6})\.parquet")

# Which layout of the job file and of the draws per maze a dataset was made with.
RECIPE = 2

SCHEMA = pa.schema(
    [
        ("maze_id", pa.int64()),
        ("size", pa.int32()),
        ("kind", pa.string()),
        ("solver", pa.string()),
        ("distance", pa.int64()),
        ("visited", pa.uint64()),
        ("route_row", pa.list_(pa.int32())),
        ("route_col", pa.list_(pa.int32())),
        ("rows", pa.int32()),
        ("cols", pa.int32()),
        ("start_row", pa.int32()),
        ("start_col", pa.int32()),
        ("end_row", pa.int32()),
        ("end_col", pa.int32()),
        ("seed", pa.int64()),
        ("content_hash", pa.string()),
        ("maze", pa.binary()),
    ]
)
IMAGE_FIELD = pa.field("image", pa.binary())
# A batch file's own count of its rows, in its footer: filters and --dedup keep fewer rows than
# mazes times solvers, so a resume cannot tell a whole file from the job alone.
ROWS_KEY = b"corridex.rows"


def schema(job: "Job") -> pa.Schema:
    return SCHEMA.append(IMAGE_FIELD) if job.images else SCHEMA


class DatasetError(ValueError):
    """A job that cannot run as asked; raised before any work is sent out."""


class Interrupted(Exception):
    """Raised by the job itself, at a point where it checks for Ctrl-C, to stop."""


class Stop:
    """Ctrl-C as a request that the job reads where it decides, never as an exception.

    Installed as the SIGINT handler, it sets `requested` and wakes `events`, the queue that
    submit() waits on (a SimpleQueue, whose put() may be called from a signal handler). Since the
    handler never raises, no KeyboardInterrupt can surface inside Dask's `sync()` or its event
    loop, wherever the signal lands; the job stops at its next check (`check()`), at once when it
    is waiting for batches. `on_stage`, when set, hears the name of every stage the job reaches.
    """

    def __init__(self) -> None:
        self.requested = False
        self.events: "queue.SimpleQueue[object]" = queue.SimpleQueue()
        self.on_stage: Optional[Callable[[str], None]] = None
        self._previous: object = None

    def __call__(self, signum: int = signal.SIGINT, frame: object = None) -> None:
        self.requested = True
        self.events.put(None)

    def install(self) -> "Stop":
        """Takes SIGINT (from the main thread) until uninstall()."""
        self._previous = signal.signal(signal.SIGINT, self)
        return self

    def uninstall(self) -> None:
        if self._previous is not None:
            signal.signal(signal.SIGINT, self._previous)  # type: ignore[arg-type]
            self._previous = None

    def check(self) -> None:
        if self.requested:
            raise Interrupted()

    def reached(self, stage: str) -> None:
        if self.on_stage is not None:
            self.on_stage(stage)


@contextlib.contextmanager
def interrupts_held():
    """Holds SIGINT back from this thread, and from every thread and process started meanwhile.

    Threads inherit the mask of the thread that starts them, and a process keeps the mask of
    the thread that forked it across exec: the Dask threads and worker processes of a cluster
    started in here never receive a terminal's Ctrl-C (the job stops them itself), not even in
    the first moments of a worker's interpreter, before anything could tell it to ignore the
    signal. A Ctrl-C meanwhile stays pending and reaches the handler when the block ends."""
    if not hasattr(signal, "pthread_sigmask"):  # Windows: the workers' plugin ignores it
        yield
        return
    from multiprocessing import resource_tracker

    previous = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})
    try:
        # The first process that multiprocessing starts in a thread (Dask's are spawned) starts
        # its resource tracker there first, and unblocks SIGINT in that thread afterwards: start
        # the tracker here, then block again.
        resource_tracker.ensure_running()
        signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})
        yield
    finally:
        signal.pthread_sigmask(signal.SIG_SETMASK, previous)


@dataclasses.dataclass(frozen=True)
class Job:
    """What a dataset holds: `mazes` candidate mazes of `size` x `size` grid entries of `kind`,
    each with `endpoints` and solved by every solver of `solvers`, with the draws of each maze
    derived from `seed`, `batch_size` mazes a file. A maze whose shortest route is shorter than
    `min_distance` or longer than `max_distance`, or (with `dedup`) whose grid and endpoints an
    earlier-written maze of the job has, is left out; `images` adds a PNG per row ("route", or
    "visited" for the visited order shaded too)."""

    mazes: int
    size: int
    solvers: Tuple[str, ...]
    seed: int
    batch_size: int
    kind: str = "maze"
    endpoints: str = "corners"
    min_distance: int = 0
    max_distance: Optional[int] = None
    dedup: bool = False
    images: str = ""

    def batches(self) -> List[Tuple[int, int, int]]:
        """(batch number, first maze id, maze count) for every batch."""
        return [
            (number, first, min(self.batch_size, self.mazes - first))
            for number, first in enumerate(range(0, self.mazes, self.batch_size))
        ]

    @property
    def grid_kind(self) -> Kind:
        return Kind.parse(self.kind)

    @property
    def filtered(self) -> bool:
        return self.min_distance > 0 or self.max_distance is not None

    def to_json(self) -> str:
        """The job, and how each maze's draws follow from it, for whoever re-derives them."""
        fields = dataclasses.asdict(self)
        fields["recipe"] = {
            "version": RECIPE,
            "srand seed of maze i": "1 + (int.from_bytes(blake2b(str(seed).encode(), "
            "digest_size=8).digest(), 'little') + i) % (2**31 - 2)",
            "draws of maze i": "numpy.random.default_rng([seed, i]): the kind's first "
            "(loops: random(shape) < P over the whole grid, a wall between two cells opened "
            "where it holds; open: random((size, size)) < P is the grid), then the endpoints' "
            "(random, dead-ends: the start is integers(n) of the candidates in row order that "
            "share a region with another candidate, the end integers(m) of the others of its "
            "region)",
            "shortest distance for the filters": "BreadthFirstSearch's SrcToDestDistance()",
            "content hash": "blake2b(digest_size=16) of rows, cols (4 bytes little-endian "
            "each), start row, start col, end row, end col (the same) and the packed grid",
        }
        return json.dumps(fields, indent=1)

    @classmethod
    def from_json(cls, text: str) -> "Job":
        fields = json.loads(text)
        fields.pop("recipe", None)
        fields["solvers"] = tuple(fields["solvers"])
        return cls(**fields)


def check_job(job: Job) -> None:
    """Raises DatasetError for a job that no worker should be given."""
    if job.size < MIN_SIZE:
        raise DatasetError(
            f"--size {job.size} is too small: a maze needs a size of {MIN_SIZE} or more "
            "(two cells at least)"
        )
    if job.mazes < 1:
        raise DatasetError(f"--mazes {job.mazes}: a dataset needs one maze or more")
    if job.batch_size < 1:
        raise DatasetError(f"--batch-size {job.batch_size}: a batch needs one maze or more")
    if not 0 <= job.seed < 2**63:
        raise DatasetError(f"--seed {job.seed}: seeds run from 0 to 2**63 - 1")
    try:
        kind = job.grid_kind
        grids.check_endpoints(kind, job.endpoints)
    except grids.GridError as error:
        raise DatasetError(str(error)) from None
    if job.min_distance < 0:
        raise DatasetError(f"--min-distance {job.min_distance}: distances are 0 or more")
    if job.max_distance is not None and job.max_distance < job.min_distance:
        raise DatasetError(
            f"--max-distance {job.max_distance} is below --min-distance {job.min_distance}"
        )
    if job.images not in ("", "route", "visited"):
        raise DatasetError(f"--images {job.images}: choose route or visited")
    check_solvers(job.solvers)


def check_solvers(names: Sequence[str]) -> None:
    unknown = [name for name in names if name not in SOLVER_NAMES]
    if unknown or not names:
        raise DatasetError(
            f"unknown solver {', '.join(unknown) or '(none given)'}: choose from "
            f"{', '.join(SOLVER_NAMES)} or 'all'"
        )


def parse_solvers(
    text: str, size: int, floyd_limit: int = FLOYD_WARSHALL_CELL_LIMIT, kind: str = "maze"
) -> Tuple[Tuple[str, ...], Optional[str]]:
    """The solvers named by a comma-separated list or 'all', in the module's order, and a note
    when FloydWarshall is left out for the size of the grids (counted in maze cells for a
    maze, whose corridors are what FloydWarshall's tables hold, in entries otherwise)."""
    if text.strip() == "all":
        names = set(SOLVER_NAMES)
    else:
        listed = [name.strip() for name in text.split(",") if name.strip()]
        check_solvers(listed)
        names = set(listed)
    note = None
    cells = (size // 2) ** 2 if kind == "maze" else size * size
    if "FloydWarshall" in names and cells > floyd_limit:
        note = (
            f"FloydWarshall left out: a grid of size {size} has {cells} cells, more than "
            f"the limit of {floyd_limit} (--floyd-limit)"
        )
        names.discard("FloydWarshall")
        if not names:
            raise DatasetError(note + ", and no other solver was chosen")
    return tuple(name for name in SOLVER_NAMES if name in names), note


@functools.lru_cache(maxsize=64)
def _seed_start(job_seed: int) -> int:
    digest = hashlib.blake2b(str(job_seed).encode(), digest_size=8).digest()
    return int.from_bytes(digest, "little")


def maze_seed(job_seed: int, maze_id: int) -> int:
    """The srand seed of one maze: consecutive maze ids get consecutive seeds from a start that
    a hash of the job seed picks, so the mazes of one job never share a seed."""
    return 1 + (_seed_start(job_seed) + maze_id) % SEED_COUNT


class _CRuntime:
    """The C runtime's srand, found once per process and checked to reach the generator: the
    same seed twice within one clock second has to carve the same maze."""

    def __init__(self) -> None:
        self.lock = threading.Lock()  # srand and generate() together, one maze at a time
        self._srand: Optional[Callable[[int], None]] = None

    @staticmethod
    def _candidates() -> Iterable[Optional[str]]:
        """Libraries to look for srand in: on Windows the two C runtimes an extension may use;
        elsewhere the symbols the process has loaded, which hold the C library that Corridex
        links, then the C library by name (found by a slower search)."""
        if sys.platform == "win32":
            yield from ("ucrtbase", "msvcrt")
            return
        yield None
        name = ctypes.util.find_library("c")
        if name:
            yield name

    def _reaches_generator(self, srand: Callable[[int], None]) -> bool:
        # A pair that straddles a clock second proves nothing, and C's time() reads a coarser
        # clock than Python's, so no pair is taken as proof against: ten that differ are.
        for _ in range(10):
            grids = []
            for _ in range(2):
                srand(12345)
                grids.append(Corridex.RandomMazeGenerator(21, 21).generate())
            if grids[0] == grids[1]:
                return True
        return False

    def srand(self, seed: int) -> None:
        if self._srand is None:
            for name in self._candidates():
                try:
                    function = ctypes.CDLL(name).srand
                except (OSError, AttributeError):
                    continue
                function.argtypes = [ctypes.c_uint]
                function.restype = None
                if self._reaches_generator(function):
                    self._srand = function
                    break
            else:
                raise RuntimeError(
                    "cannot seed the C runtime's rand that Corridex draws from: no srand was "
                    "found, or seeding it twice alike does not repeat a maze; without a seed "
                    "per maze the workers would carve the same mazes"
                )
        self._srand(seed)


_C_RUNTIME = _CRuntime()


Cell = Tuple[int, int]


def generate(size: int, seed: int) -> np.ndarray:
    """A maze of `size` x `size` carved after srand(seed), as a C-contiguous bool array."""
    generator = Corridex.RandomMazeGenerator(size, size)
    with _C_RUNTIME.lock:
        _C_RUNTIME.srand(seed)
        grid = generator.generate()
    # bytes() of a row of bools is its 0/1 bytes: one pass in C instead of one per entry.
    flat = np.frombuffer(b"".join(map(bytes, grid)), dtype=np.bool_)
    return flat.reshape(len(grid), len(grid[0]))


def pack(grid: np.ndarray) -> bytes:
    """Grid entries row by row, eight to a byte, the first in the highest bit."""
    return np.packbits(grid).tobytes()


def unpack(bits: bytes, rows: int, cols: int) -> np.ndarray:
    """The grid that `pack` made from a `rows` x `cols` maze, ready for any solver."""
    flat = np.unpackbits(np.frombuffer(bits, dtype=np.uint8), count=rows * cols)
    return flat.astype(np.bool_).reshape(rows, cols)


_ROW = operator.attrgetter("row")
_COL = operator.attrgetter("col")


def route_columns(
    route: Sequence[Index], grid: np.ndarray, reverse: bool
) -> Tuple[np.ndarray, np.ndarray]:
    """The rows and the columns of a route's cells as int32 arrays, reversed when asked: one
    C-level pass per column over the cells' `row` and `col` properties, which is what bounds it
    (a property read costs more than making the cell did)."""
    count = len(route)
    rows = np.fromiter(map(_ROW, route), dtype=np.int32, count=count)
    cols = np.fromiter(map(_COL, route), dtype=np.int32, count=count)
    return (rows[::-1], cols[::-1]) if reverse else (rows, cols)


def solve(
    grid: np.ndarray, solver_name: str, start: Cell, end: Cell, visited_cells: bool = False
) -> Tuple[int, int, np.ndarray, np.ndarray, List[Cell]]:
    """Distance, TraversedNodesNo(), the route's rows and columns from start to end, and, when
    asked, the visited cells in order."""
    solver = getattr(Corridex, solver_name)(grid, Index(*start), Index(*end))
    solver.solve()
    # All but FloydWarshall report the route from the end back to the start.
    rows, cols = route_columns(solver.SrcToDestPath(), grid, solver_name != "FloydWarshall")
    visited: List[Cell] = []
    if visited_cells:
        visited = [(cell.row, cell.col) for cell in solver.TraversedNodes()]
    return solver.SrcToDestDistance(), solver.TraversedNodesNo(), rows, cols, visited


def content_hash(grid: np.ndarray, bits: bytes, start: Cell, end: Cell) -> str:
    head = np.array([*grid.shape, *start, *end], dtype="<u4").tobytes()
    return hashlib.blake2b(head + bits, digest_size=16).hexdigest()


CLAIMS = "_claims"


def claim(out_dir: str, digest: str, maze_id: int) -> bool:
    """Whether maze `maze_id` keeps its grid and endpoints under --dedup: the first maze of the
    job to claim a content hash keeps it, on the file system that every worker shares, so that
    no worker needs to know what the others made. A claim is made whole (written aside, then
    linked under its name, which fails when the name exists), so a maze whose task is cut short
    and run again finds its own claim and keeps it."""
    folder = os.path.join(out_dir, CLAIMS, digest[:2])
    path = os.path.join(folder, digest)
    mine = str(maze_id).encode()
    try:
        with open(path, "rb") as file:
            return file.read() == mine
    except FileNotFoundError:
        pass
    os.makedirs(folder, exist_ok=True)
    scratch = f"{path}.{uuid.uuid4().hex}.tmp"
    with open(scratch, "wb") as file:
        file.write(mine)
    try:
        os.link(scratch, path)
    except FileExistsError:
        with open(path, "rb") as file:
            return file.read() == mine
    finally:
        os.remove(scratch)
    return True


def make_grid(job: Job, kind: Kind, maze_id: int, rng: np.random.Generator) -> np.ndarray:
    if kind.name == "open":
        return grids.open_map(job.size, kind.p, rng)
    grid = generate(job.size, maze_seed(job.seed, maze_id))
    return grids.loops(grid, kind.p, rng) if kind.name == "loops" else grid


def _list_column(parts: List[np.ndarray]) -> pa.Array:
    offsets = np.zeros(len(parts) + 1, dtype=np.int32)
    np.cumsum([len(part) for part in parts], out=offsets[1:])
    values = np.concatenate(parts) if parts else np.zeros(0, dtype=np.int32)
    return pa.ListArray.from_arrays(pa.array(offsets), pa.array(values, type=pa.int32()))


def make_batch(job: Job, first: int, count: int, out_dir: Optional[str] = None) -> pa.Table:
    """The rows of mazes `first` to `first + count - 1` of the job, one per maze and solver,
    for the mazes that pass the job's filters (and its --dedup, which claims hashes under
    `out_dir`)."""
    kind = job.grid_kind
    solvers = list(job.solvers)
    if job.filtered and "BreadthFirstSearch" in solvers:  # solved first, for the filter
        solvers.remove("BreadthFirstSearch")
        solvers.insert(0, "BreadthFirstSearch")
    columns: Dict[str, list] = {field.name: [] for field in schema(job)}
    per_maze = ("maze_id", "size", "kind", "rows", "cols", "start_row", "start_col", "end_row",
                "end_col", "seed", "content_hash", "maze")
    draws = kind.name != "maze" or job.endpoints != "corners"
    for maze_id in range(first, first + count):
        rng = grids.maze_rng(job.seed, maze_id) if draws else None
        grid = make_grid(job, kind, maze_id, rng)
        ends = grids.endpoints(kind, job.endpoints, grid, job.size, rng)
        if ends is None:
            continue
        start, end = ends
        results = []
        for name in solvers:
            results.append((name, solve(grid, name, start, end, job.images == "visited")))
            if job.filtered and len(results) == 1:
                if name == "BreadthFirstSearch":
                    shortest = results[0][1][0]
                else:
                    shortest = solve(grid, "BreadthFirstSearch", start, end)[0]
                if shortest < job.min_distance or (
                    job.max_distance is not None and shortest > job.max_distance
                ):
                    break
        else:
            bits = pack(grid)
            digest = content_hash(grid, bits, start, end)
            if job.dedup and not claim(out_dir, digest, maze_id):
                continue
            values = (maze_id, job.size, str(kind), grid.shape[0], grid.shape[1], start[0],
                      start[1], end[0], end[1], maze_seed(job.seed, maze_id), digest, bits)
            for name, (distance, visited, rows, cols, cells) in sorted(
                results, key=lambda result: SOLVER_NAMES.index(result[0])
            ):
                for field, value in zip(per_maze, values):
                    columns[field].append(value)
                columns["solver"].append(name)
                columns["distance"].append(distance)
                columns["visited"].append(visited)
                columns["route_row"].append(rows)
                columns["route_col"].append(cols)
                if job.images:
                    columns["image"].append(images.picture(grid, rows, cols, cells))
    arrays = {name: (_list_column(values) if name in ("route_row", "route_col") else values)
              for name, values in columns.items()}
    table = pa.Table.from_pydict(arrays, schema=schema(job))
    return table.replace_schema_metadata({ROWS_KEY: str(table.num_rows).encode()})


def part_path(out_dir: str, batch: int) -> str:
    return os.path.join(out_dir, f"part-{batch:06d}.parquet")


def write_batch(out_dir: str, job: Job, batch: int, first: int, count: int) -> Dict[str, object]:
    """The task: makes one batch and writes it as one file, returning what it wrote. The file
    appears complete or not at all (written aside, then renamed), so a task that is cut short
    and run again elsewhere leaves one file, never a torn one."""
    started = time.perf_counter()
    table = make_batch(job, first, count, out_dir)
    path = part_path(out_dir, batch)
    # Named apart for each attempt: a batch may be run twice at once, on two machines.
    scratch = os.path.join(out_dir, f".{os.path.basename(path)}.{uuid.uuid4().hex}.tmp")
    # Every page with its CRC, which a resume checks: a file damaged in the middle, with its
    # footer and row count intact, is made again.
    pq.write_table(table, scratch, compression="zstd", write_page_checksum=True)
    os.replace(scratch, path)
    return {
        "batch": batch,
        "mazes": count,
        "rows": table.num_rows,
        "bytes": os.path.getsize(path),
        "seconds": time.perf_counter() - started,
        "pid": os.getpid(),
    }


def intact(path: str) -> bool:
    """Whether the Parquet file at `path` reads whole: its footer, the row count it records for
    itself, and every page of every column, each checked against the checksum written with it."""
    try:
        file = pq.ParquetFile(path, page_checksum_verification=True)
        recorded = (file.schema_arrow.metadata or {}).get(ROWS_KEY)
        if recorded is None or int(recorded) != file.metadata.num_rows:
            return False
        for group in range(file.num_row_groups):
            file.read_row_group(group)
    except (OSError, ValueError, pa.ArrowException):
        return False
    return True


def written_batches(out_dir: str, job: Job) -> Dict[int, int]:
    """{batch: bytes} for the batch files that are complete: named for a batch of the job, and
    intact (see `intact`)."""
    expected = {number for number, _, _ in job.batches()}
    written = {}
    for name in os.listdir(out_dir):
        match = PART_NAME.fullmatch(name)
        if not match or int(match.group(1)) not in expected:
            continue
        path = os.path.join(out_dir, name)
        if intact(path):
            written[int(match.group(1))] = os.path.getsize(path)
    return written


def stored_job(out_dir: str) -> Optional[Job]:
    """The job a dataset folder was written for, or None when it holds none."""
    try:
        with open(os.path.join(out_dir, JOB_FILE), encoding="utf-8") as file:
            return Job.from_json(file.read())
    except FileNotFoundError:
        return None
    except (ValueError, TypeError, KeyError) as error:
        raise DatasetError(f"{out_dir}: {JOB_FILE} cannot be read ({error})") from None


def open_output(out_dir: str, resume: bool = False, overwrite: bool = False) -> Optional[Job]:
    """Checks, changing nothing, that `out_dir` may be written, and returns the job it holds
    when resuming one. Refuses a path that exists unless told to resume or to overwrite, and
    overwriting anything but a dataset folder or an empty one."""
    if resume and overwrite:
        raise DatasetError("--resume and --overwrite exclude each other")
    if not os.path.lexists(out_dir):
        return None
    if not os.path.isdir(out_dir):
        raise DatasetError(f"{out_dir} exists and is not a dataset folder")
    found = stored_job(out_dir)
    if found is None:
        if os.listdir(out_dir):
            raise DatasetError(
                f"{out_dir} exists and holds no {JOB_FILE}: not a dataset, left as it is"
            )
        return None
    if not (resume or overwrite):
        raise DatasetError(f"{out_dir} exists: add --resume to finish it or --overwrite")
    return found if resume else None


def prepare(
    out_dir: str, job: Job, resume: bool = False, overwrite: bool = False
) -> Dict[int, int]:
    """Makes `out_dir` ready for `job` (after the checks of open_output) and returns
    {batch: bytes} of the batches already written, which a resume skips."""
    check_job(job)
    found = open_output(out_dir, resume, overwrite)
    if found is not None and found != job:
        raise DatasetError(
            f"{out_dir} was written for another job ({describe(found)}); resume it with the "
            "same options, or choose --overwrite"
        )
    if overwrite and os.path.isdir(out_dir):
        shutil.rmtree(out_dir)
    os.makedirs(out_dir, exist_ok=True)
    for name in os.listdir(out_dir):
        if name.startswith(".part-") and name.endswith(".tmp"):
            os.remove(os.path.join(out_dir, name))  # left by a task that was cut short
    with open(os.path.join(out_dir, JOB_FILE), "w", encoding="utf-8") as file:
        file.write(job.to_json())
    return written_batches(out_dir, job) if found is not None else {}


def describe(job: Job) -> str:
    extras = [f"{name.replace('_', '-')} {value}" for name, value in (
        ("kind", job.kind), ("endpoints", job.endpoints)) if value != getattr(Job, name)]
    if job.min_distance:
        extras.append(f"min-distance {job.min_distance}")
    if job.max_distance is not None:
        extras.append(f"max-distance {job.max_distance}")
    extras += ["dedup"] * job.dedup + [f"images {job.images}"] * bool(job.images)
    return (
        f"{job.mazes} mazes of size {job.size}, {','.join(job.solvers)}, seed {job.seed}, "
        f"batches of {job.batch_size}" + "".join(f", {extra}" for extra in extras)
    )


def seconds_per_maze(job: Job, budget: float = 0.3) -> float:
    """Measured here: the time one maze of `job` takes, over at least `budget` seconds."""
    job = dataclasses.replace(job, dedup=False)
    make_batch(job, 0, 1)  # once untimed: the first maze finds srand
    made = 0
    started = time.perf_counter()
    while True:
        make_batch(job, made, 1)
        made += 1
        took = time.perf_counter() - started
        if took >= budget:
            return took / made


def batch_size(per_maze: float, mazes: int, workers: int) -> int:
    """Mazes per task: about BATCH_SECONDS of work each, but small enough to give every worker
    four tasks, so that none waits at the end while another finishes a long one."""
    size = max(1, round(BATCH_SECONDS / per_maze))
    return max(1, min(size, -(-mazes // (4 * max(1, workers)))))


class IgnoreInterrupts(WorkerPlugin):
    """A worker plugin for a cluster started by the job: Ctrl-C at the terminal reaches the
    workers too, and they leave stopping to the job, which stops them at once."""

    name = "corridex-ignore-interrupts"

    def setup(self, worker) -> None:
        import logging

        if threading.current_thread() is threading.main_thread():
            signal.signal(signal.SIGINT, signal.SIG_IGN)
        # Stopped mid-task, a worker would report every cancelled task.
        logging.getLogger("distributed.worker.state_machine").setLevel(logging.ERROR)


def submit(
    client,
    out_dir: str,
    job: Job,
    skip: Iterable[int] = (),
    on_batch: Optional[Callable[[Dict[str, object]], None]] = None,
    stop: Optional[Stop] = None,
) -> List[Dict[str, object]]:
    """Runs every batch of `job` not in `skip` on the client's cluster and returns what each
    wrote, in the order they finished; `on_batch` hears of each as it finishes. A few tasks per
    worker thread are out at a time, so that the scheduler holds a window of the job however
    large it is. A failed batch raises its error, and a `stop` requested raises Interrupted,
    after cancelling the rest.

    It waits on `stop.events`, which the finished futures are put on (from Dask's callback
    thread) and which Ctrl-C wakes, rather than in Dask's blocking calls."""
    stop = Stop() if stop is None else stop
    done = set(skip)
    todo = iter([batch for batch in job.batches() if batch[0] not in done])
    window = max(16, 4 * sum(client.nthreads().values()))
    out = set()

    def send(count: int) -> None:
        for batch in itertools.islice(todo, count):
            future = client.submit(write_batch, out_dir, job, *batch, pure=False)
            out.add(future)
            future.add_done_callback(stop.events.put)

    summaries = []
    try:
        send(window)
        stop.reached("sent")
        while out:
            stop.check()
            future = stop.events.get()
            if future not in out:  # a wake-up, or a future of an earlier call
                continue
            summary = future.result()  # at once: it is done
            out.discard(future)
            future.release()
            summaries.append(summary)
            send(1)
            if on_batch is not None:
                on_batch(summary)
            stop.reached("batch")
        stop.check()
    except BaseException:
        client.cancel(list(out))
        raise
    return summaries


def check_shared(client, out_dir: str) -> None:
    """Raises DatasetError unless every worker of the client's cluster sees the folder that
    prepare() made: a worker that wrote its batches to a disk of its own would lose them."""
    manifest = os.path.join(out_dir, JOB_FILE)
    blind = sorted(address for address, sees in client.run(os.path.isfile, manifest).items()
                   if not sees)
    if blind:
        raise DatasetError(
            f"{len(blind)} workers ({', '.join(blind[:3])}) cannot see {out_dir}: give --out a "
            "folder that this machine and every worker share"
        )


def local_cluster(workers: int, dashboard: bool = False):
    """A cluster on this machine, listening on 127.0.0.1 only: `workers` processes of one thread
    each (every Corridex call holds the interpreter lock), and a client connected to it."""
    main = sys.modules.get("__main__")
    if getattr(main, "__name__", None) == "__mp_main__":
        raise RuntimeError(
            "a worker process is importing the script that starts the cluster: start the job "
            "under `if __name__ == \"__main__\":`"
        )
    from distributed import Client, LocalCluster

    with interrupts_held():
        cluster = LocalCluster(
            n_workers=workers,
            threads_per_worker=1,
            processes=True,
            host="127.0.0.1",
            dashboard_address="127.0.0.1:8787" if dashboard else None,
            # Without a dashboard the scheduler still serves its health and metrics pages: on a
            # free port, rather than on 8787 with a warning when another cluster holds it.
            scheduler_kwargs=None if dashboard else {"dashboard_address": "127.0.0.1:0"},
        )
        client = Client(cluster)
    client.register_plugin(IgnoreInterrupts(), name=IgnoreInterrupts.name)
    return cluster, client


def stop_local_cluster(cluster, client, at_once: bool = False) -> None:
    """Closes the client and the cluster. `at_once` does not wait for running tasks: their
    worker processes are killed where they are (what they were writing is left aside, unread),
    before the scheduler closes, so that none lives on to report the scheduler gone."""
    client.close()
    if at_once:
        import logging

        # The nannies' news of workers killed on purpose.
        logging.getLogger("distributed").setLevel(logging.ERROR)
        nannies = list(cluster.workers.values())

        async def stop_workers() -> None:
            import asyncio

            for nanny in nannies:
                nanny.auto_restart = False
                pid = getattr(nanny.process, "pid", None)
                if pid:
                    with contextlib.suppress(OSError):  # gone already
                        os.kill(pid, getattr(signal, "SIGKILL", signal.SIGTERM))
            await asyncio.gather(
                *(nanny.close(timeout=2) for nanny in nannies), return_exceptions=True
            )

        cluster.sync(stop_workers)
    cluster.close()
