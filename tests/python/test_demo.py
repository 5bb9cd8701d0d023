"""The demo script runs end to end on a small maze and says what it skipped."""

import pathlib
import subprocess
import sys

import pytest

from corridex_support.promises import SOLVER_NAMES

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


def run_demo(*args, status=0):
    """The demo run as a user runs it; its output."""
    child = subprocess.run([sys.executable, str(EXAMPLES / "demo.py"), *args],
                           capture_output=True, text=True, timeout=300)
    assert child.returncode == status, child.stderr
    return child.stdout


def table_rows(text):
    """{solver: the words after its name} for each solver line of the printed table."""
    return {words[0]: words[1:] for words in map(str.split, text.splitlines())
            if words and words[0] in SOLVER_NAMES}


def test_perfect_maze_table_agrees_and_maze_is_drawn():
    text = run_demo("--size", "21", "--no-picture")
    rows = table_rows(text)
    assert len(rows) == 6
    assert len({(row[0], row[1]) for row in rows.values()}) == 1, "one route in a perfect maze"
    picture = text.split("(S start, E end):\n", 1)[1].splitlines()
    assert len(picture) == 21  # a border row, then the 20 grid rows
    assert picture[1].startswith("██S ") and "E ██" in picture[-2]


def test_floyd_warshall_is_skipped_out_loud():
    text = run_demo("--size", "41", "--floyd-limit", "10", "--no-picture", "--no-terminal")
    assert "FloydWarshall skipped: the maze has 400 cells, more than the limit of 10" in text
    assert len(table_rows(text)) == 6


def test_too_small_a_size_is_an_argument_error():
    run_demo("--size", "1", status=2)


# Run beside the demo, which it imports as a module.
SHADING_CHECK = """
import random
import Corridex
import demo

grid = Corridex.RandomMazeGenerator(61, 45).generate()
demo.knock_through(grid, 30, random.Random(4))
start, end = (0, 0), (len(grid) - 2, len(grid[0]) - 2)
for run in demo.run_solvers(grid, start, end, floyd_limit=10**6):
    order = demo.visit_order(grid, run.traversed, start, end)
    assert run.route[0] == start and run.route[-1] == end, run.name
    assert all(cell in order for cell in run.route), run.name
"""


def test_every_route_cell_is_shaded_as_visited():
    # The shading fills the corridors between recorded corridor-graph nodes; the route of each
    # solver runs only through cells that its search reached.
    child = subprocess.run([sys.executable, "-c", SHADING_CHECK], cwd=EXAMPLES,
                           capture_output=True, text=True, timeout=300)
    assert child.returncode == 0, child.stderr


def test_pictures_are_written(tmp_path):
    pytest.importorskip("PIL")
    from PIL import Image

    text = run_demo("--size", "25", "--loops", "6", "--seed", "2", "--gif",
                    "--no-terminal", "--out-dir", str(tmp_path))
    png, gif = tmp_path / "corridex-demo.png", tmp_path / "corridex-demo.gif"
    assert f"Wrote {png}" in text and f"Wrote {gif}" in text
    with Image.open(png) as image:
        assert image.format == "PNG" and image.size[0] > image.size[1] > 200
    with Image.open(gif) as image:
        assert image.format == "GIF" and image.n_frames > 10
