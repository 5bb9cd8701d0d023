#!/usr/bin/env python3
"""Corridex demo: generate a maze, run all six solvers across it, compare them, draw them.

    python3 examples/demo.py                    # 40 x 40 grid, table, terminal picture, PNG
    python3 examples/demo.py --size 101 --gif   # bigger, plus an animation of the searches
    python3 examples/demo.py --loops 40         # 40 walls opened: loops, DepthFirstSearch goes long

The pictures need Pillow (pip install "Corridex[demo]"); everything else needs only Corridex.
"""

from __future__ import annotations

import argparse
import importlib.util
import os
import random
import sys
import time
from dataclasses import dataclass, field
from typing import Callable, Dict, List, Optional, Protocol, Sequence, Tuple

try:
    import Corridex
except ModuleNotFoundError as missing:
    if missing.name != "Corridex":
        raise
    sys.exit(f"{sys.executable} has no Corridex: run this with a Python that has it, such as the "
             "one `bash scripts/demo.sh` installs it for, "
             "${XDG_CACHE_HOME:-~/.cache}/corridex/demo-venv/bin/python (see README.md, The demo)")

Cell = Tuple[int, int]
Grid = List[List[bool]]


class Solver(Protocol):
    """What the six solver classes have in common."""

    def solve(self) -> None: ...
    def SrcToDestPath(self) -> List[Corridex.Index]: ...
    def SrcToDestDistance(self) -> int: ...
    def TraversedNodes(self) -> List[Corridex.Index]: ...
    def TraversedNodesNo(self) -> int: ...


# The module's solver classes, in the order it registers them: the classes that solve().
SOLVERS: Dict[str, Callable[[Grid, Corridex.Index, Corridex.Index], Solver]] = {
    name: value
    for name, value in vars(Corridex).items()
    if isinstance(value, type) and hasattr(value, "solve")
}

# FloydWarshall's time grows with the cube of the corridor graph's nodes and its tables with
# the square; above this many maze cells the demo skips it (and says so) unless told otherwise.
FLOYD_WARSHALL_CELL_LIMIT = 2500

# Mazes up to this many grid columns and rows are also drawn in the terminal.
TERMINAL_LIMIT = 64


@dataclass
class Run:
    """One solver's outcome, with the route oriented from start to end."""

    name: str
    route: List[Cell] = field(default_factory=list)
    distance: int = 0
    traversed: List[Cell] = field(default_factory=list)
    traversed_no: int = 0
    build_ms: float = 0.0
    solve_ms: float = 0.0
    skipped: Optional[str] = None


# --------------------------------------------------------------------------------------------
# Maze and solvers


def knock_through(grid: Grid, count: int, rng: random.Random) -> int:
    """Opens up to `count` walls between two cells, which adds loops; returns how many."""
    rows, cols = len(grid), len(grid[0])
    walls = [
        (r, c)
        for r in range(rows - 1)
        for c in range(cols - 1)
        if (r + c) % 2 == 1 and not grid[r][c]
    ]
    chosen = rng.sample(walls, min(count, len(walls)))
    for r, c in chosen:
        grid[r][c] = True
    return len(chosen)


def run_solvers(grid: Grid, start: Cell, end: Cell, floyd_limit: int) -> List[Run]:
    cells = (len(grid) // 2) * (len(grid[0]) // 2)
    runs = []
    for name, solver_class in SOLVERS.items():
        run = Run(name)
        if name == "FloydWarshall" and cells > floyd_limit:
            run.skipped = (
                f"skipped: the maze has {cells} cells, more than the limit of {floyd_limit} "
                "(its time grows with the cube of the corridor graph's nodes); "
                "raise it with --floyd-limit"
            )
            runs.append(run)
            continue
        began = time.perf_counter()
        solver = solver_class(grid, Corridex.Index(*start), Corridex.Index(*end))
        built = time.perf_counter()
        solver.solve()
        solved = time.perf_counter()
        run.build_ms = (built - began) * 1e3
        run.solve_ms = (solved - built) * 1e3
        run.route = [(cell.row, cell.col) for cell in solver.SrcToDestPath()]
        if name != "FloydWarshall":
            run.route.reverse()  # reported from the end back to the start
        run.distance = solver.SrcToDestDistance()
        run.traversed = [(cell.row, cell.col) for cell in solver.TraversedNodes()]
        run.traversed_no = solver.TraversedNodesNo()
        runs.append(run)
    return runs


def print_table(runs: Sequence[Run], out=sys.stdout) -> None:
    header = (
        f"{'solver':<20}{'route cells':>12}{'distance':>10}{'traversed':>11}"
        f"{'TraversedNodesNo':>18}{'build ms':>10}{'solve ms':>10}"
    )
    print(header, file=out)
    print("-" * len(header), file=out)
    shortest = min((run.distance for run in runs if run.skipped is None and run.route), default=0)
    for run in runs:
        if run.skipped:
            print(f"{run.name:<20}{run.skipped}", file=out)
            continue
        mark = "" if run.distance == shortest else "  (longer than the shortest)"
        print(
            f"{run.name:<20}{len(run.route):>12}{run.distance:>10}{len(run.traversed):>11}"
            f"{run.traversed_no:>18}{run.build_ms:>10.2f}{run.solve_ms:>10.2f}{mark}",
            file=out,
        )
    print(
        "\nroute cells: SrcToDestPath() length; distance: SrcToDestDistance(), in steps; "
        "traversed: TraversedNodes() length\n(cells for BreadthFirstSearch, corridor-graph "
        "nodes for the others); FloydWarshall's TraversedNodesNo() is that count cubed.",
        file=out,
    )


def draw_in_terminal(grid: Grid, route: Sequence[Cell], colour: bool, out=sys.stdout) -> None:
    """Two characters per grid cell, with a wall border added on the top and left."""
    on_route = set(route)
    start, end = (route[0], route[-1]) if route else (None, None)
    wall = "\x1b[90m██\x1b[0m" if colour else "██"
    step = "\x1b[1;31m()\x1b[0m" if colour else "()"
    cols = len(grid[0])
    print(wall * (cols + 1), file=out)
    for r, row in enumerate(grid):
        line = [wall]
        for c, is_open in enumerate(row):
            if (r, c) == start:
                line.append("S ")
            elif (r, c) == end:
                line.append("E ")
            elif (r, c) in on_route:
                line.append(step)
            else:
                line.append("  " if is_open else wall)
        print("".join(line), file=out)


# --------------------------------------------------------------------------------------------
# Pictures


def visit_order(grid: Grid, traversed: Sequence[Cell], start: Cell, end: Cell) -> Dict[Cell, int]:
    """The step at which each cell was first reached, for shading.

    BreadthFirstSearch records cells; the other solvers record corridor-graph nodes (dead ends,
    corners, junctions, start and end), so the straight corridor between two recorded nodes is
    shaded as reached when the later of the two was.
    """
    order: Dict[Cell, int] = {start: 0}
    for step, cell in enumerate(traversed):
        order.setdefault(cell, step)
    rows, cols = len(grid), len(grid[0])

    def is_open(r: int, c: int) -> bool:
        return 0 <= r < rows and 0 <= c < cols and grid[r][c]

    def straight(r: int, c: int) -> bool:
        if (r, c) in (start, end):
            return False
        vertical = is_open(r - 1, c) and is_open(r + 1, c)
        horizontal = is_open(r, c - 1) and is_open(r, c + 1)
        sideways = is_open(r, c - 1) or is_open(r, c + 1)
        upright = is_open(r - 1, c) or is_open(r + 1, c)
        return (vertical and not sideways) or (horizontal and not upright)

    corridors: Dict[Cell, int] = {}
    for (r, c), step in list(order.items()):
        for dr, dc in ((1, 0), (0, 1), (-1, 0), (0, -1)):
            cells = []
            nr, nc = r + dr, c + dc
            while is_open(nr, nc) and straight(nr, nc):
                cells.append((nr, nc))
                nr, nc = nr + dr, nc + dc
            if is_open(nr, nc) and (nr, nc) in order:
                later = max(step, order[nr, nc])
                for cell in cells:
                    corridors[cell] = min(corridors.get(cell, later), later)
    for cell, step in corridors.items():
        order.setdefault(cell, step)
    return order


# Palette indices of the pictures.
BACKGROUND, WALL, OPEN, ROUTE, START, END, TEXT, DIM = range(8)
GRADIENT_BASE, GRADIENT_STEPS = 16, 200
BASE_COLOURS = [
    (250, 250, 247),  # background
    (38, 41, 56),  # wall
    (232, 232, 226),  # open, never reached
    (230, 57, 70),  # route
    (46, 196, 112),  # start
    (230, 57, 70),  # end
    (30, 32, 42),  # text
    (110, 112, 125),  # dim text
]
# Early visits deep blue, then teal and green, late ones light yellow.
GRADIENT_STOPS = [(40, 62, 150), (34, 140, 170), (80, 190, 130), (190, 220, 90), (250, 232, 140)]


def gradient(t: float) -> Tuple[int, int, int]:
    position = t * (len(GRADIENT_STOPS) - 1)
    k = min(int(position), len(GRADIENT_STOPS) - 2)
    f = position - k
    a, b = GRADIENT_STOPS[k], GRADIENT_STOPS[k + 1]
    red, green, blue = (round(a[i] + (b[i] - a[i]) * f) for i in range(3))
    return red, green, blue


def palette() -> List[int]:
    colours = BASE_COLOURS + [(0, 0, 0)] * (GRADIENT_BASE - len(BASE_COLOURS))
    colours += [gradient(k / (GRADIENT_STEPS - 1)) for k in range(GRADIENT_STEPS)]
    colours += [(0, 0, 0)] * (256 - len(colours))
    return [channel for colour in colours for channel in colour]


def load_font(size: int):
    from PIL import ImageFont

    for name in ("DejaVuSans.ttf", "Arial.ttf", "Helvetica.ttc"):
        try:
            return ImageFont.truetype(name, size)
        except OSError:
            pass
    try:
        return ImageFont.load_default(size=size)
    except TypeError:  # Pillow before 10.1 has one bitmap size only
        return ImageFont.load_default()


NEVER = 255  # the frame of a cell that is never reached


class Painter:
    """Draws maze panels at a fixed scale: a wall border on the top and left, then the grid.

    Each solver's panel is prepared once (its cells' colours and the animation frame from which
    each is shown), so that every frame takes a few whole-image operations.
    """

    def __init__(self, grid: Grid, start: Cell, end: Cell, panel_side: int, frames: int = 1):
        self.grid, self.start, self.end, self.frames = grid, start, end, frames
        self.rows, self.cols = len(grid) + 1, len(grid[0]) + 1
        self.scale = max(1, panel_side // max(self.rows, self.cols))
        self.size = (self.cols * self.scale, self.rows * self.scale)
        pixels = bytearray([WALL]) * (self.rows * self.cols)
        for r, row in enumerate(grid):
            base = (r + 1) * self.cols + 1
            for c, is_open in enumerate(row):
                if is_open:
                    pixels[base + c] = OPEN
        self.maze = self._image("P", pixels)

    def _image(self, mode: str, pixels: bytearray):
        from PIL import Image

        image = Image.frombytes(mode, (self.cols, self.rows), bytes(pixels))
        if mode == "P":
            image.putpalette(palette())
        return image

    def scaled(self, image):
        """`image`, at grid resolution, blown up to the panel's size without blending."""
        from PIL import Image

        nearest = getattr(Image, "Resampling", Image).NEAREST  # moved there in Pillow 9.1
        return image.resize(self.size, nearest)

    def prepare(self, run: Run):
        """The colours of the cells that `run` reached, and the frame from which each shows."""
        order = visit_order(self.grid, run.traversed, self.start, self.end)
        last = max(order.values(), default=0) or 1
        colours = bytearray([OPEN]) * (self.rows * self.cols)
        shown_from = bytearray([NEVER]) * (self.rows * self.cols)
        for (r, c), step in order.items():
            at = (r + 1) * self.cols + c + 1
            colours[at] = GRADIENT_BASE + round(step / last * (GRADIENT_STEPS - 1))
            shown_from[at] = max(1, -(-step * self.frames // last))
        return self._image("P", colours), self._image("L", shown_from)

    def panel(self, prepared, frame: int, route: Sequence[Cell]):
        """The maze with the cells shown by `frame` shaded, and `route` drawn on top."""
        from PIL import ImageDraw

        colours, shown_from = prepared
        image = self.maze.copy()
        image.paste(colours, mask=shown_from.point(lambda v: 255 if v <= frame else 0))
        image = self.scaled(image)
        draw = ImageDraw.Draw(image)
        s = self.scale

        def centre(cell: Cell) -> Tuple[float, float]:
            return ((cell[1] + 1.5) * s - 0.5, (cell[0] + 1.5) * s - 0.5)

        if len(route) > 1:
            draw.line([centre(cell) for cell in route], fill=ROUTE, width=max(1, s // 2),
                      joint="curve")
        radius = max(2, s * 0.8)
        for cell, colour in ((self.start, START), (self.end, END)):
            x, y = centre(cell)
            draw.ellipse([x - radius, y - radius, x + radius, y + radius], fill=colour,
                         outline=WALL)
        return image


class Sheet:
    """All six panels, three to a row, with titles, a heading and a colour key."""

    COLUMNS = 3

    def __init__(self, painter: Painter, runs: Sequence[Run], heading: str, font_size: int):
        from PIL import Image, ImageDraw

        self.painter, self.runs = painter, runs
        self.prepared = [None if run.skipped else painter.prepare(run) for run in runs]
        title_font, small_font = load_font(font_size), load_font(max(9, font_size * 3 // 4))
        gap = max(12, font_size)
        width, height = painter.size
        title_h = font_size * 2 + gap // 2
        head_h = font_size * 2 + gap
        key_h = font_size + gap
        rows = (len(runs) + self.COLUMNS - 1) // self.COLUMNS
        self.blank = Image.new(
            "P",
            (self.COLUMNS * width + (self.COLUMNS + 1) * gap,
             head_h + rows * (title_h + height + gap) + key_h),
            BACKGROUND,
        )
        self.blank.putpalette(palette())
        draw = ImageDraw.Draw(self.blank)
        draw.text((gap, gap // 2), heading, fill=TEXT, font=title_font)

        self.places = []
        for k, run in enumerate(runs):
            x = gap + (k % self.COLUMNS) * (width + gap)
            y = head_h + (k // self.COLUMNS) * (title_h + height + gap)
            self.places.append((x, y + title_h))
            draw.text((x, y), run.name, fill=TEXT, font=title_font)
            if run.skipped:
                details = "skipped: too large for its n^3 work"
                self.blank.paste(painter.scaled(painter.maze), (x, y + title_h))
            else:
                details = (f"distance {run.distance}, {len(run.traversed)} recorded, "
                           f"{run.build_ms + run.solve_ms:.2f} ms")
            draw.text((x, y + font_size + 4), details, fill=DIM, font=small_font)
        self._draw_key(draw, gap, self.blank.size[1] - key_h + gap // 4, font_size, small_font)

    @staticmethod
    def _draw_key(draw, x: int, y: int, font_size: int, font) -> None:
        draw.text((x, y), "visited early", fill=DIM, font=font)
        x += int(draw.textlength("visited early", font=font)) + 8
        bar = 160
        for k in range(bar):
            colour = GRADIENT_BASE + round(k / (bar - 1) * (GRADIENT_STEPS - 1))
            draw.line([(x + k, y + 2), (x + k, y + font_size * 3 // 4)], fill=colour)
        x += bar + 8
        draw.text((x, y), "late", fill=DIM, font=font)
        x += int(draw.textlength("late", font=font)) + 3 * font_size
        draw.line([(x, y + font_size // 2), (x + 30, y + font_size // 2)], fill=ROUTE, width=4)
        draw.text((x + 38, y), "route", fill=DIM, font=font)
        x += 38 + int(draw.textlength("route", font=font)) + 3 * font_size
        for label, colour in (("start", START), ("end", END)):
            r = font_size // 3
            draw.ellipse([x, y + font_size // 2 - r, x + 2 * r, y + font_size // 2 + r],
                         fill=colour)
            draw.text((x + 2 * r + 6, y), label, fill=DIM, font=font)
            x += 2 * r + 12 + int(draw.textlength(label, font=font)) + 2 * font_size

    def render(self, frame: int, with_routes: bool):
        sheet = self.blank.copy()
        for run, prepared, place in zip(self.runs, self.prepared, self.places):
            if prepared is not None:
                route = run.route if with_routes else []
                sheet.paste(self.painter.panel(prepared, frame, route), place)
        return sheet


def write_png(path: str, grid: Grid, start: Cell, end: Cell, runs: Sequence[Run],
              heading: str) -> None:
    sheet = Sheet(Painter(grid, start, end, panel_side=420), runs, heading, font_size=18)
    sheet.render(frame=1, with_routes=True).save(path, optimize=True)


def write_gif(path: str, grid: Grid, start: Cell, end: Cell, runs: Sequence[Run],
              heading: str, frames: int = 40) -> None:
    """Every search from its first recorded cell to its last over the same frames, then the
    routes, held for a while."""
    painter = Painter(grid, start, end, panel_side=260, frames=frames)
    sheet = Sheet(painter, runs, heading, font_size=14)
    images = [sheet.render(frame, with_routes=False) for frame in range(1, frames + 1)]
    images.append(sheet.render(frames, with_routes=True))
    durations = [70] * frames + [3000]
    images[0].save(path, save_all=True, append_images=images[1:], duration=durations, loop=0)


# --------------------------------------------------------------------------------------------


def parse_arguments(argv: Optional[Sequence[str]]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        description="Generate a maze with Corridex, solve it with all six solvers, compare "
        "and draw them.")
    parser.add_argument("--size", type=int, default=41,
                        help="sets both --width and --hight (default 41: a 40 x 40 grid)")
    parser.add_argument("--width", type=int, help="grid rows, as RandomMazeGenerator counts "
                        "them (rounded down to even)")
    parser.add_argument("--hight", type=int, help="grid columns (rounded down to even)")
    parser.add_argument("--loops", type=int, default=0,
                        help="open this many extra walls so the maze has loops (default 0: a "
                        "perfect maze, where every solver must find the same route)")
    parser.add_argument("--seed", type=int, help="seed for choosing the walls of --loops")
    parser.add_argument("--floyd-limit", type=int, default=FLOYD_WARSHALL_CELL_LIMIT,
                        help="skip FloydWarshall above this many maze cells (default "
                        f"{FLOYD_WARSHALL_CELL_LIMIT})")
    parser.add_argument("--out-dir", default="demo-output",
                        help="where the pictures go (default ./demo-output)")
    parser.add_argument("--gif", action="store_true",
                        help="also write an animation of the searches exploring")
    parser.add_argument("--no-picture", action="store_true", help="write no picture at all")
    parser.add_argument("--no-terminal", action="store_true",
                        help="do not draw the maze in the terminal")
    arguments = parser.parse_args(argv)
    arguments.width = arguments.size if arguments.width is None else arguments.width
    arguments.hight = arguments.size if arguments.hight is None else arguments.hight
    if arguments.width < 2 or arguments.hight < 2:
        parser.error("--width and --hight must be at least 2 (one cell)")
    return arguments


def main(argv: Optional[Sequence[str]] = None, out=sys.stdout) -> int:
    arguments = parse_arguments(argv)

    began = time.perf_counter()
    grid = Corridex.RandomMazeGenerator(arguments.width, arguments.hight).generate()
    generate_ms = (time.perf_counter() - began) * 1e3
    rows, cols = len(grid), len(grid[0])
    opened = knock_through(grid, arguments.loops, random.Random(arguments.seed))
    # The generator draws each cell with its passages right and down, so the bottom-right grid
    # entry is a wall corner; the last cell is one up and one left of it.
    start, end = (0, 0), (rows - 2, cols - 2)

    kind = f"{opened} extra walls opened, so it has loops" if opened else "a perfect maze"
    print(f"RandomMazeGenerator({arguments.width}, {arguments.hight}).generate(): "
          f"{rows} x {cols} grid of {rows // 2} x {cols // 2} cells in {generate_ms:.1f} ms, "
          f"{kind}.", file=out)
    print(f"Solving from {start[0]},{start[1]} to {end[0]},{end[1]}.\n", file=out)

    runs = run_solvers(grid, start, end, arguments.floyd_limit)
    print_table(runs, out)
    for run in runs:
        if run.skipped:
            print(f"\n{run.name} {run.skipped}.", file=out)

    if not arguments.no_terminal and rows <= TERMINAL_LIMIT and cols <= TERMINAL_LIMIT:
        shortest = next(run for run in runs if run.name == "BreadthFirstSearch")
        print("\nBreadthFirstSearch's route (S start, E end):", file=out)
        draw_in_terminal(grid, shortest.route, colour=out.isatty(), out=out)

    if arguments.no_picture:
        return 0
    if importlib.util.find_spec("PIL") is None:
        print("\nPillow is not installed, so no picture was written: "
              "python3 -m pip install \"Corridex[demo]\"", file=out)
        return 0
    os.makedirs(arguments.out_dir, exist_ok=True)
    shape = (f"a {rows} x {cols} maze with {opened} extra openings" if opened
             else f"a perfect {rows} x {cols} maze")
    heading = f"Corridex: six solvers across {shape}, top left to bottom right"
    png = os.path.join(arguments.out_dir, "corridex-demo.png")
    write_png(png, grid, start, end, runs, heading)
    print(f"\nWrote {png}", file=out)
    if arguments.gif:
        gif = os.path.join(arguments.out_dir, "corridex-demo.gif")
        write_gif(gif, grid, start, end, runs, heading)
        print(f"Wrote {gif}", file=out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
