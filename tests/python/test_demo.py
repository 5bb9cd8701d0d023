"""The demo script runs end to end on a small maze and says what it skipped."""

import importlib.util
import io
import pathlib
import random
import sys

import pytest

import Corridex
from maze_support import SOLVER_NAMES

DEMO_PATH = pathlib.Path(__file__).resolve().parents[2] / "examples" / "demo.py"


@pytest.fixture(scope="module")
def demo():
    spec = importlib.util.spec_from_file_location("corridex_demo", DEMO_PATH)
    module = importlib.util.module_from_spec(spec)
    sys.modules[spec.name] = module  # its dataclasses look their module up there
    spec.loader.exec_module(module)
    yield module
    del sys.modules[spec.name]


def run_demo(demo, *args):
    out = io.StringIO()
    assert demo.main(list(args), out=out) == 0
    return out.getvalue()




def table_rows(text):
    """{solver: the words after its name} for each solver line of the printed table."""
    return {words[0]: words[1:] for words in map(str.split, text.splitlines())
            if words and words[0] in SOLVER_NAMES}


def test_perfect_maze_table_agrees_and_maze_is_drawn(demo):
    text = run_demo(demo, "--size", "21", "--no-picture")
    rows = table_rows(text)
    assert len(rows) == 6
    assert len({(row[0], row[1]) for row in rows.values()}) == 1, "one route in a perfect maze"
    picture = text.split("(S start, E end):\n", 1)[1].splitlines()
    assert len(picture) == 21  # a border row, then the 20 grid rows
    assert picture[1].startswith("██S ") and "E ██" in picture[-2]


def test_floyd_warshall_is_skipped_out_loud(demo):
    text = run_demo(demo, "--size", "41", "--floyd-limit", "10", "--no-picture", "--no-terminal")
    assert "FloydWarshall skipped: the maze has 400 cells, more than the limit of 10" in text
    assert len(table_rows(text)) == 6


def test_too_small_a_size_is_an_argument_error(demo):
    with pytest.raises(SystemExit):
        demo.main(["--size", "1"], out=io.StringIO())


def test_every_route_cell_is_shaded_as_visited(demo):
    # The shading fills the corridors between recorded corridor-graph nodes; the route of each
    # solver runs only through cells that its search reached.
    grid = Corridex.RandomMazeGenerator(61, 45).generate()
    demo.knock_through(grid, 30, random.Random(4))
    start, end = (0, 0), (len(grid) - 2, len(grid[0]) - 2)
    for run in demo.run_solvers(grid, start, end, floyd_limit=10**6):
        order = demo.visit_order(grid, run.traversed, start, end)
        assert run.route[0] == start and run.route[-1] == end, run.name
        assert all(cell in order for cell in run.route), run.name


def test_pictures_are_written(demo, tmp_path):
    pytest.importorskip("PIL")
    from PIL import Image

    text = run_demo(demo, "--size", "25", "--loops", "6", "--seed", "2", "--gif",
                    "--no-terminal", "--out-dir", str(tmp_path))
    png, gif = tmp_path / "corridex-demo.png", tmp_path / "corridex-demo.gif"
    assert f"Wrote {png}" in text and f"Wrote {gif}" in text
    with Image.open(png) as image:
        assert image.format == "PNG" and image.size[0] > image.size[1] > 200
    with Image.open(gif) as image:
        assert image.format == "GIF" and image.n_frames > 10
