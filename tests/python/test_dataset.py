"""The dataset job (corridex_dataset): every maze once and distinct across workers, a worker
killed mid-run, the files read back and re-solved, grid kinds, endpoints, filters, --dedup and
pictures, resumes, bad input and Ctrl-C."""

from __future__ import annotations

import collections
import dataclasses
import hashlib
import io
import os
import pathlib
import signal
import subprocess
import sys
import time

import numpy as np
import pyarrow.parquet as pq
import pytest

import Corridex
import corridex_dataset as dataset
from corridex_dataset import cli
from Corridex import Index
from corridex_support.checks import steps_between
from corridex_support.processes import default_ctrl_c
from corridex_support.promises import END_FIRST, SOLVER_NAMES

# pyarrow raises C++ exceptions of its own inside these tests; under an emulator each cluster
# of emulated worker processes takes minutes to start, and the job is processor-independent.
pytestmark = [pytest.mark.same_cxx_runtime, pytest.mark.native]


@pytest.fixture(scope="module")
def cluster():
    """Two worker processes on the loopback, shared by this module's cluster tests."""
    local, client = dataset.local_cluster(2)
    try:
        yield local, client
    finally:
        dataset.stop_local_cluster(local, client)


def run_job(client, out_dir, job, on_batch=None):
    written = dataset.prepare(str(out_dir), job)
    client.wait_for_workers(2)
    return dataset.submit(client, str(out_dir), job, skip=written, on_batch=on_batch)


@pytest.fixture(scope="module")
def written(cluster, tmp_path_factory):
    """A small dataset made by both workers, and what its batches reported."""
    out = tmp_path_factory.mktemp("dataset") / "mazes"
    job = dataset.Job(mazes=40, size=41, solvers=dataset.SOLVER_NAMES, seed=2024, batch_size=4)
    summaries = run_job(cluster[1], out, job)
    return out, job, summaries


def rows_by_maze(out_dir):
    table = pq.read_table(out_dir)
    by_maze = {}
    for row in table.to_pylist():
        by_maze.setdefault(row["maze_id"], []).append(row)
    return by_maze


def broken_rows(rows):
    """What the rows of one maze break: one row per solver of the job, each route open single
    steps from the stored start to the stored end, as long as the fewest steps between them by
    an independent BFS (any route for DepthFirstSearch, save on a perfect maze, which has one)."""
    first = rows[0]
    grid = dataset.unpack(first["maze"], first["rows"], first["cols"])
    start, end = (first["start_row"], first["start_col"]), (first["end_row"], first["end_col"])
    steps = steps_between(grid.tolist(), start, end)
    broken = []
    if [row["solver"] for row in rows] != sorted(
            (row["solver"] for row in rows), key=SOLVER_NAMES.index):
        broken.append(f"solvers {[row['solver'] for row in rows]}")
    for row in rows:
        route = list(zip(row["route_row"], row["route_col"]))
        if route[:1] != [start] or route[-1:] != [end]:
            broken.append(f"{row['solver']}: route ends {route[:1]} {route[-1:]}")
        if not all(grid[r, c] for r, c in route):
            broken.append(f"{row['solver']}: route through a wall")
        if any(abs(a - c) + abs(b - d) != 1 for (a, b), (c, d) in zip(route, route[1:])):
            broken.append(f"{row['solver']}: route steps not single")
        # On a perfect maze every solver finds the one route. Elsewhere BreadthFirstSearch,
        # BellmanFord and FloydWarshall promise a shortest one; DepthFirstSearch, and Dijkstra
        # and AStar (keys that drop while queued are not re-sifted), some route, and AStar's
        # distance may then differ from its route's steps.
        shortest = row["kind"] == "maze" or row["solver"] in (
            "BreadthFirstSearch", "BellmanFord", "FloydWarshall")
        counted = shortest or row["solver"] != "AStar"
        if steps is None or (row["distance"] != steps if shortest else min(
                row["distance"], len(route) - 1) < steps) or (
                counted and row["distance"] != len(route) - 1):
            broken.append(f"{row['solver']}: distance {row['distance']}, route of "
                          f"{len(route) - 1} steps, {steps} steps at fewest")
    return broken


def test_two_workers_carve_distinct_mazes_each_once(written):
    out, job, summaries = written
    by_maze = rows_by_maze(out)
    assert sorted(by_maze) == list(range(job.mazes))
    assert len({rows[0]["maze"] for rows in by_maze.values()}) == job.mazes
    assert len({summary["pid"] for summary in summaries}) == 2
    assert all(len({row["maze"] for row in rows}) == 1 for rows in by_maze.values())


def test_mazes_read_back_from_their_bits_solve_as_stored(written):
    out, _, _ = written
    for maze_id, rows in sorted(rows_by_maze(out).items())[::9]:
        assert broken_rows(rows) == [], maze_id
        for row in rows:
            grid = dataset.unpack(row["maze"], row["rows"], row["cols"])
            solver = getattr(Corridex, row["solver"])(
                grid, Index(row["start_row"], row["start_col"]),
                Index(row["end_row"], row["end_col"]))
            solver.solve()
            route = [(cell.row, cell.col) for cell in solver.SrcToDestPath()]
            if type(solver) in END_FIRST:
                route.reverse()
            assert route == list(zip(row["route_row"], row["route_col"]))
            assert solver.SrcToDestDistance() == row["distance"]
            assert solver.TraversedNodesNo() == row["visited"]


def sigint_held() -> bool:
    return signal.SIGINT in signal.pthread_sigmask(signal.SIG_BLOCK, [])


@pytest.mark.posix
def test_job_completes_when_a_worker_is_killed_mid_run(cluster, tmp_path):
    _, client = cluster
    client.wait_for_workers(2)
    victim = min(client.run(os.getpid).values())
    job = dataset.Job(mazes=60, size=61, solvers=dataset.SOLVER_NAMES, seed=7, batch_size=3)
    heard = []

    def kill_once(summary):
        heard.append(summary)
        if len(heard) == 1:
            os.kill(victim, signal.SIGKILL)

    summaries = run_job(client, tmp_path / "mazes", job, on_batch=kill_once)
    assert victim not in client.run(os.getpid).values()
    # The worker started in its place holds Ctrl-C back from its start, as the first ones do.
    client.wait_for_workers(2)
    assert list(client.run(sigint_held).values()) == [True, True]
    assert sorted(summary["batch"] for summary in summaries) == list(range(20))
    by_maze = rows_by_maze(tmp_path / "mazes")
    assert sorted(by_maze) == list(range(job.mazes))
    assert {maze_id: broken_rows(rows) for maze_id, rows in by_maze.items()} == {
        maze_id: [] for maze_id in by_maze}


def test_workers_that_cannot_see_the_folder_are_refused(cluster, tmp_path):
    job = dataset.Job(mazes=3, size=11, solvers=("AStar",), seed=1, batch_size=3)
    dataset.prepare(str(tmp_path / "seen"), job)
    cluster[1].wait_for_workers(2)
    dataset.check_shared(cluster[1], str(tmp_path / "seen"))
    with pytest.raises(dataset.DatasetError, match="2 workers .* cannot see"):
        dataset.check_shared(cluster[1], str(tmp_path / "unseen"))


def test_a_seed_repeats_its_mazes_within_a_clock_second():
    job = dataset.Job(mazes=6, size=31, solvers=("AStar",), seed=99, batch_size=6)
    other = dataset.Job(mazes=6, size=31, solvers=("AStar",), seed=100, batch_size=6)
    # The generator's start cell follows the clock second: both batches are made just after
    # one begins, and made again if a busy machine still took them past its end.
    for _ in range(20):
        # A twentieth of a second in: C's time(), which reads a coarser clock than Python's,
        # may lag by a tick, and has caught up by then.
        time.sleep(1.05 - time.time() % 1)
        second = int(time.time())
        first, again = (dataset.make_batch(job, 0, 6).column("maze") for _ in range(2))
        if int(time.time()) == second:
            break
    else:
        pytest.fail("two batches of six small mazes never fitted in one clock second")
    assert first == again
    assert not set(first.to_pylist()) & set(dataset.make_batch(other, 0, 6)["maze"].to_pylist())


@pytest.mark.parametrize("job_seed", [0, 1, 2**63 - 1])
def test_maze_seeds_are_distinct_and_never_alias(job_seed):
    seeds = [dataset.maze_seed(job_seed, maze_id) for maze_id in range(0, 10**7, 997)]
    assert len(set(seeds)) == len(seeds)
    assert 1 <= min(seeds) and max(seeds) <= 2**31 - 2  # srand(0) is srand(1) in glibc


def test_maze_seeds_wrap_from_the_top_of_the_range_to_one():
    job_seed = 2024
    digest = hashlib.blake2b(str(job_seed).encode(), digest_size=8).digest()
    top = (2**31 - 3 - int.from_bytes(digest, "little")) % (2**31 - 2)  # its seed is the last
    assert [dataset.maze_seed(job_seed, top + step) for step in (-1, 0, 1, 2)] == [
        2**31 - 3, 2**31 - 2, 1, 2]


def test_a_write_cut_short_leaves_no_batch_file(tmp_path, monkeypatch):
    out = tmp_path / "mazes"
    job = dataset.Job(mazes=3, size=11, solvers=("AStar",), seed=5, batch_size=3)
    dataset.prepare(str(out), job)
    real_write = dataset.pq.write_table

    def half_then_fail(table, where, **options):
        real_write(table, where, **options)
        with open(where, "r+b") as file:
            file.truncate(os.path.getsize(where) // 2)
        raise OSError("disk full")

    monkeypatch.setattr(dataset.pq, "write_table", half_then_fail)
    with pytest.raises(OSError, match="disk full"):
        dataset.write_batch(str(out), job, *job.batches()[0])
    assert not os.path.lexists(dataset.part_path(str(out), 0))
    assert dataset.prepare(str(out), job, resume=True) == {}
    assert sorted(os.listdir(out)) == [dataset.JOB_FILE]  # the half file is cleared away


def test_resume_keeps_whole_batches_and_redoes_torn_ones(tmp_path):
    out = tmp_path / "mazes"
    job = dataset.Job(mazes=9, size=11, solvers=("BreadthFirstSearch",), seed=5, batch_size=3)
    dataset.prepare(str(out), job)
    for batch in job.batches():
        dataset.write_batch(str(out), job, *batch)
    torn = dataset.part_path(str(out), 1)
    with open(torn, "r+b") as file:
        file.truncate(os.path.getsize(torn) // 2)
    (out / ".part-000002.parquet.123.tmp").write_bytes(b"cut short")
    assert sorted(dataset.prepare(str(out), job, resume=True)) == [0, 2]
    assert not (out / ".part-000002.parquet.123.tmp").exists()
    with pytest.raises(dataset.DatasetError, match="written for another job"):
        dataset.prepare(str(out), dataclasses.replace(job, seed=6), resume=True)


def test_resume_redoes_a_batch_damaged_in_the_middle(tmp_path):
    out = tmp_path / "mazes"
    job = dataset.Job(mazes=20, size=41, solvers=("BreadthFirstSearch", "AStar"), seed=5,
                      batch_size=10)
    dataset.prepare(str(out), job)
    for batch in job.batches():
        dataset.write_batch(str(out), job, *batch)
    damaged = dataset.part_path(str(out), 1)
    size = os.path.getsize(damaged)
    with open(damaged, "r+b") as file:
        file.seek(size // 2 - 1000)
        middle = file.read(2000)
        file.seek(size // 2 - 1000)
        file.write(bytes(byte ^ 0xFF for byte in middle))
    assert pq.read_metadata(damaged).num_rows == 20  # the footer still says all is well
    assert sorted(dataset.prepare(str(out), job, resume=True)) == [0]
    dataset.write_batch(str(out), job, *job.batches()[1])
    assert sorted(dataset.prepare(str(out), job, resume=True)) == [0, 1]
    assert pq.read_table(out).num_rows == 40


def cells_of(flags):
    return {tuple(cell) for cell in np.argwhere(flags)}


def independent_dead_ends(grid):
    rows, cols = grid.shape
    return {(r, c) for r, c in cells_of(grid)
            if sum(0 <= r + dr < rows and 0 <= c + dc < cols and grid[r + dr, c + dc]
                   for dr, dc in ((1, 0), (-1, 0), (0, 1), (0, -1))) == 1}


@pytest.mark.parametrize("kind", ["maze", "loops:0.3", "open:0.62", "open:1"])
@pytest.mark.parametrize("endpoints", ["corners", "random", "dead-ends"])
def test_each_kind_and_endpoint_mode_gives_valid_grids_routes_and_pictures(kind, endpoints):
    if (endpoints, kind) in (("corners", "open:0.62"), ("dead-ends", "open:1")):
        pytest.skip("refused: see test_bad_input_is_refused_before_any_worker_starts")
    from PIL import Image

    from corridex_dataset import images

    job = dataset.Job(mazes=12, size=21, solvers=dataset.SOLVER_NAMES, seed=11, batch_size=12,
                      kind=kind, endpoints=endpoints, images="visited" if kind == "maze" else
                      "route")
    table = dataset.make_batch(job, 0, job.mazes)
    by_maze = collections.defaultdict(list)
    for row in table.to_pylist():
        by_maze[row["maze_id"]].append(row)
    # Opened walls can leave fewer than two dead ends; such a maze gives no rows.
    assert len(by_maze) >= (6 if kind != "maze" and endpoints == "dead-ends" else 12)
    for maze_id, rows in by_maze.items():
        assert broken_rows(rows) == [], (maze_id, broken_rows(rows))
        first = rows[0]
        grid = dataset.unpack(first["maze"], first["rows"], first["cols"])
        start, end = (first["start_row"], first["start_col"]), (first["end_row"], first["end_col"])
        assert start != end
        if kind.startswith("open"):
            assert grid.shape == (21, 21)
        else:
            assert grid.shape == (20, 20)
            assert not grid[1::2, 1::2].any() and not grid[-1].any() and not grid[:, -1].any()
            assert grid[::2, ::2].all()  # every cell open: 10 x 10 of them
            passages = grid.sum() - grid[::2, ::2].sum()
            cells = grid[::2, ::2].size
            if kind == "maze":  # a perfect maze: a tree over its cells
                assert passages == cells - 1
            else:  # loops opened 30% of the other walls, give or take
                walls = 2 * 10 * 9 - (cells - 1)
                assert 0.15 * walls < passages - (cells - 1) < 0.45 * walls
        if kind == "open:1":
            assert grid.all()
        if endpoints == "corners":
            assert start == (0, 0) and end == (grid.shape[0] - 1 - (kind != "open:1"),) * 2
        elif endpoints == "dead-ends":
            assert {start, end} <= independent_dead_ends(grid)
        for row in rows:
            picture = np.asarray(Image.open(io.BytesIO(row["image"])))
            assert picture.shape == grid.shape
            assert np.array_equal(picture != images.WALL, grid)
            route = list(zip(row["route_row"], row["route_col"]))
            assert picture[start] == images.START and picture[end] == images.END
            assert all(picture[cell] == images.ROUTE for cell in route[1:-1])
            shaded = (picture >= images.GRADIENT_BASE).sum()
            if job.images == "route":
                assert shaded == 0
            elif row["solver"] == "BreadthFirstSearch":  # it records cells, not nodes
                assert shaded == row["visited"] - len(route)
    # The kind's and the endpoints' draws repeat from the job seed; open maps entirely.
    again = dataset.make_batch(job, 0, job.mazes)
    for column in ("start_row", "start_col", "end_row", "end_col", "maze_id"):
        assert again[column] == table[column] or not kind.startswith("open") and (
            kind != "maze" or endpoints != "corners")
    if kind.startswith("open"):
        assert again["content_hash"] == table["content_hash"]


def test_route_columns_are_the_cells_in_route_order():
    grid = dataset.generate(41, 77)
    solver = Corridex.DijkstraAlgorithm(grid, Index(0, 0), Index(38, 38))
    solver.solve()
    route = solver.SrcToDestPath()
    expected = ([cell.row for cell in route], [cell.col for cell in route])
    rows, cols = dataset.route_columns(route, grid, reverse=False)
    assert (list(rows), list(cols)) == expected
    rows, cols = dataset.route_columns(route, grid, reverse=True)
    assert (list(rows), list(cols)) == (expected[0][::-1], expected[1][::-1])


def test_distance_filters_hold_on_every_row():
    job = dataset.Job(mazes=40, size=15, solvers=("DepthFirstSearch", "BellmanFord"), seed=3,
                      batch_size=40, kind="loops:0.2", endpoints="random", min_distance=8,
                      max_distance=14)
    rows = dataset.make_batch(job, 0, job.mazes).to_pylist()
    unfiltered = dataset.make_batch(dataclasses.replace(job, min_distance=0, max_distance=None),
                                    0, job.mazes).to_pylist()
    assert 0 < len(rows) < len(unfiltered)
    for row in rows:
        grid = dataset.unpack(row["maze"], row["rows"], row["cols"]).tolist()
        steps = steps_between(grid, (row["start_row"], row["start_col"]),
                              (row["end_row"], row["end_col"]))
        assert 8 <= steps <= 14
        if row["solver"] == "BellmanFord":
            assert row["distance"] == steps


def test_dedup_keeps_each_grid_and_endpoints_once_across_batches_and_workers(cluster, tmp_path):
    # Open maps repeat from the seed alone, so the candidates can be made again here; 600 pairs
    # of random endpoints on a 4 x 4 open map (240 pairs possible) coincide often.
    job = dataset.Job(mazes=600, size=4, solvers=("BreadthFirstSearch",), seed=8, batch_size=20,
                      kind="open:1", endpoints="random", dedup=True)
    candidates = dataset.make_batch(dataclasses.replace(job, dedup=False), 0, job.mazes)
    first_of = {}
    for maze_id, digest in zip(candidates["maze_id"].to_pylist(),
                               candidates["content_hash"].to_pylist()):
        first_of.setdefault(digest, maze_id)
    assert len(first_of) < candidates.num_rows / 2

    summaries = run_job(cluster[1], tmp_path / "mazes", job)
    assert len({summary["pid"] for summary in summaries}) == 2
    table = pq.read_table(tmp_path / "mazes")
    hashes = table["content_hash"].to_pylist()
    assert len(hashes) == len(set(hashes)) and set(hashes) == set(first_of)
    # A batch made again (a task run twice) keeps the mazes it claimed.
    part = dataset.part_path(str(tmp_path / "mazes"), 5)
    before = pq.read_table(part)
    dataset.write_batch(str(tmp_path / "mazes"), job, *job.batches()[5])
    assert pq.read_table(part).equals(before)


def test_numpy_example_loads_the_rows_as_arrays_and_trains(tmp_path):
    out = tmp_path / "mazes"
    job = dataset.Job(mazes=30, size=15, solvers=("AStar", "BreadthFirstSearch"), seed=2,
                      batch_size=10, endpoints="random", images="route")
    dataset.prepare(str(out), job)
    for batch in job.batches():
        dataset.write_batch(str(out), job, *batch)
    example = pathlib.Path(__file__).resolve().parents[2] / "examples" / "dataset_numpy.py"
    done = subprocess.run([sys.executable, str(example), str(out), "--epochs", "2"],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[0] == ("grid (30, 14, 14) bool, start (30, 2) int32, end (30, 2) int32, "
                        "route (30, 14, 14) bool, distance (30,) int64, picture (30, 14, 14) uint8")
    assert [line.split(":")[0] for line in lines[1:]] == ["epoch 1", "epoch 2"]


def test_job_file_records_how_each_row_is_derived(tmp_path):
    job = dataset.Job(mazes=3, size=11, solvers=("AStar",), seed=7, batch_size=3,
                      kind="loops:0.25", endpoints="dead-ends", min_distance=2, max_distance=30,
                      dedup=True, images="visited")
    dataset.prepare(str(tmp_path / "mazes"), job)
    assert dataset.stored_job(str(tmp_path / "mazes")) == job
    recorded = (tmp_path / "mazes" / dataset.JOB_FILE).read_text()
    for words in ("default_rng([seed, i])", "blake2b", "2**31 - 2", "BreadthFirstSearch"):
        assert words in recorded


@pytest.mark.parametrize(
    "arguments, message",
    [
        (["--size", "3"], "--size 3 is too small"),
        (["--solvers", "AStar,Dijkstra"], "unknown solver Dijkstra"),
        (["--mazes", "0"], "--mazes 0"),
        (["--size", "201", "--solvers", "FloydWarshall"], "no other solver was chosen"),
        (["--existing"], "exists: add --resume"),
        (["--existing", "--resume", "--seed", "8"], "holds another job"),
        (["--foreign", "--overwrite"], "holds no _corridex_job.json"),
        (["--kind", "open:1.5"], "--kind open:1.5: P runs from above 0 and up to 1"),
        (["--kind", "open:0"], "--kind open:0: P runs"),
        (["--kind", "loops"], "loops needs a probability"),
        (["--kind", "spiral:0.2"], "choose maze, loops:P or open:P"),
        (["--kind", "open:0.6", "--endpoints", "corners"], "corners of an open map are open"),
        (["--endpoints", "middle"], "--endpoints middle: choose"),
        (["--kind", "loops:1", "--endpoints", "dead-ends"], "has no dead ends"),
        (["--min-distance", "9", "--max-distance", "8"], "--max-distance 8 is below"),
        (["--min-distance", "-1"], "--min-distance -1"),
        (["--existing", "--resume", "--kind", "loops:0.5"], "holds another job"),
    ],
    ids=["size", "solver", "mazes", "floyd-limit", "exists", "resume-other", "foreign",
         "open-above-1", "open-0", "loops-bare", "kind-unknown", "corners-closed",
         "endpoints-unknown", "no-dead-ends", "distances-crossed", "distance-negative", "resume-other-kind"],
)
def test_bad_input_is_refused_before_any_worker_starts(
    arguments, message, tmp_path, monkeypatch, capsys
):
    out = tmp_path / "mazes"
    if "--existing" in arguments:
        dataset.prepare(str(out), dataset.Job(mazes=3, size=11, solvers=("AStar",), seed=7,
                                              batch_size=3))
    if "--foreign" in arguments:
        out.mkdir()
        (out / "notes.txt").write_text("mine")
    arguments = [a for a in arguments if a not in ("--existing", "--foreign")]

    def no_cluster(*args, **kwargs):
        raise AssertionError("a cluster was started")

    monkeypatch.setattr(dataset, "local_cluster", no_cluster)
    assert cli.main(["--out", str(out), "--batch-size", "3", *arguments]) == 2
    assert message in capsys.readouterr().err
    if (out / "notes.txt").exists():
        assert (out / "notes.txt").read_text() == "mine"


# Runs the job with a Ctrl-C sent to its whole process group, as a terminal's is, when the job
# reaches a stage: "cluster" once the first worker process of its cluster exists (the job is then
# inside Dask's sync() starting it), "sent" when the first window of batches is out, "batch" when
# the first batch is written, "summary" as it prints its last line.
CTRL_C_DRIVER = """
import os, signal, sys, threading, time
import psutil

from corridex_dataset import Stop, cli


def ctrl_c():
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})  # for the job's threads to take
    os.killpg(0, signal.SIGINT)


def when_a_worker_starts():
    me = psutil.Process()
    while not me.children(recursive=True):
        time.sleep(0.01)
    ctrl_c()


def on_stage(stage, sent=[]):
    if stage != sys.argv[1] or sent:
        return
    sent.append(stage)
    if stage == "cluster":
        threading.Thread(target=when_a_worker_starts, daemon=True).start()
    else:
        os.killpg(0, signal.SIGINT)


if __name__ == "__main__":
    stop = Stop().install()
    stop.on_stage = on_stage
    sys.exit(cli.main(sys.argv[2:], stop=stop))
"""


@pytest.mark.posix
@pytest.mark.parametrize("stage", ["cluster", "sent", "batch", "summary"])
def test_ctrl_c_at_any_stage_stops_the_job_in_one_line(stage, cluster, tmp_path):
    out = tmp_path / "mazes"
    driver = tmp_path / "driver.py"
    driver.write_text(CTRL_C_DRIVER)
    command = [sys.executable, str(driver), stage, "--out",
               str(out), "--workers", "2", "--mazes", "120", "--size", "61", "--batch-size", "2",
               "--seed", "3"]
    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True, start_new_session=True, preexec_fn=default_ctrl_c)
    try:
        _, err = child.communicate(timeout=300)
    finally:
        if child.poll() is None:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
    assert child.returncode == 130, err
    lines = [line for line in err.replace("\r", "\n").splitlines() if line.strip()]
    assert lines[-1].startswith("interrupted: "), err
    assert [line for line in lines if line.startswith("interrupted")] == lines[-1:], err
    assert not [line for line in lines if "Traceback" in line or "rror" in line
                or "xception" in line], err
    parts = sorted(out.glob("part-*"))
    job = dataset.stored_job(str(out))
    assert sorted(dataset.written_batches(str(out), job)) == [
        int(part.name[5:11]) for part in parts]
    assert pq.read_table(out).num_rows == 2 * len(dataset.SOLVER_NAMES) * len(parts)
    if stage == "summary":
        assert len(parts) == 60 and "the job is complete" in lines[-1]
        return
    assert "--resume" in lines[-1]
    assert len(parts) < 60 if stage != "cluster" else parts == []
    if stage != "batch":
        return
    assert parts
    kept = {part.name: part.stat().st_mtime_ns for part in parts}
    written = dataset.prepare(str(out), job, resume=True)
    cluster[1].wait_for_workers(2)
    dataset.submit(cluster[1], str(out), job, skip=written)
    assert {name: (out / name).stat().st_mtime_ns for name in kept} == kept
    assert sorted(rows_by_maze(out)) == list(range(job.mazes))
