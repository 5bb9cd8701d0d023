"""Pictures of the dataset's rows: one pixel per grid entry, as PNG with a palette.

Palette indices: WALL and OPEN for the grid, ROUTE for the route's cells, START and END for
its ends, and, when the visited order is drawn, GRADIENT_BASE + 0 to GRADIENT_STEPS - 1 for the
cells the search reached, early to late, in the demo's colours (deep blue to light yellow).
So `numpy.asarray(PIL.Image.open(...)) != WALL` is the grid, and `== ROUTE` (with the two
ends) the route.
"""

from __future__ import annotations

import io
from typing import Dict, Sequence, Tuple

import numpy as np

Cell = Tuple[int, int]

WALL, OPEN, ROUTE, START, END = range(5)
GRADIENT_BASE, GRADIENT_STEPS = 16, 200
BASE_COLOURS = [
    (38, 41, 56),  # wall
    (232, 232, 226),  # open, never reached
    (230, 57, 70),  # route
    (46, 196, 112),  # start
    (180, 30, 50),  # end
]
GRADIENT_STOPS = [(40, 62, 150), (34, 140, 170), (80, 190, 130), (190, 220, 90), (250, 232, 140)]


def _gradient(t: float) -> Tuple[int, int, int]:
    position = t * (len(GRADIENT_STOPS) - 1)
    k = min(int(position), len(GRADIENT_STOPS) - 2)
    f = position - k
    a, b = GRADIENT_STOPS[k], GRADIENT_STOPS[k + 1]
    red, green, blue = (round(a[i] + (b[i] - a[i]) * f) for i in range(3))
    return red, green, blue


def _palette() -> bytes:
    colours = BASE_COLOURS + [(0, 0, 0)] * (GRADIENT_BASE - len(BASE_COLOURS))
    colours += [_gradient(k / (GRADIENT_STEPS - 1)) for k in range(GRADIENT_STEPS)]
    colours += [(0, 0, 0)] * (256 - len(colours))
    return bytes(channel for colour in colours for channel in colour)


PALETTE = _palette()


def visit_order(grid: np.ndarray, traversed: Sequence[Cell], start: Cell, end: Cell) -> Dict[Cell, int]:
    """The step at which each cell was first reached, as the demo shades it: BreadthFirstSearch
    records cells, the other solvers corridor-graph nodes, so a straight corridor between two
    recorded nodes is shaded as reached when the later of the two was."""
    order: Dict[Cell, int] = {start: 0}
    for step, cell in enumerate(traversed):
        order.setdefault(cell, step)
    rows, cols = grid.shape

    def is_open(r: int, c: int) -> bool:
        return 0 <= r < rows and 0 <= c < cols and bool(grid[r, c])

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


def picture(
    grid: np.ndarray,
    route_row: np.ndarray,
    route_col: np.ndarray,
    visited: Sequence[Cell] = (),
) -> bytes:
    """The PNG of one row: the grid, the visited order shaded when `visited` is given, the
    route on top and its ends."""
    from PIL import Image

    pixels = np.where(grid, OPEN, WALL).astype(np.uint8)
    start = (int(route_row[0]), int(route_col[0]))
    end = (int(route_row[-1]), int(route_col[-1]))
    if len(visited):
        order = visit_order(grid, visited, start, end)
        last = max(order.values()) or 1
        cells = np.array(list(order), dtype=np.intp).reshape(-1, 2)
        steps = np.fromiter(order.values(), dtype=np.float64, count=len(order))
        pixels[cells[:, 0], cells[:, 1]] = GRADIENT_BASE + np.rint(
            steps / last * (GRADIENT_STEPS - 1)).astype(np.uint8)
    pixels[route_row, route_col] = ROUTE
    pixels[start] = START
    pixels[end] = END
    image = Image.frombytes("P", (grid.shape[1], grid.shape[0]), pixels.tobytes())
    image.putpalette(PALETTE)
    out = io.BytesIO()
    image.save(out, format="PNG", optimize=False)
    return out.getvalue()
