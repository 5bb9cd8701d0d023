"""Grid kinds and endpoints of the dataset job: recipes in NumPy around the generator's mazes.

Every draw comes from one NumPy generator per maze, `maze_rng(job seed, maze id)`, in a fixed
order (the kind's draws first, then the endpoints'), so that everything here repeats from the
job seed and the grid it starts from. The generator's perfect maze itself repeats only within
one clock second (see the package's docstring); an open map repeats from the seed alone.
"""

from __future__ import annotations

import dataclasses
from typing import Optional, Tuple

import numpy as np

KINDS = ("maze", "loops", "open")
ENDPOINTS = ("corners", "random", "dead-ends")
Cell = Tuple[int, int]


class GridError(ValueError):
    """A grid kind or endpoint mode that cannot be made as asked."""


@dataclasses.dataclass(frozen=True)
class Kind:
    """`maze`: the generator's perfect maze. `loops:P`: that maze with each wall between two of
    its cells opened with probability P, which makes several routes. `open:P`: a map of
    `size` x `size` entries, each open with probability P."""

    name: str
    p: float = 0.0

    @classmethod
    def parse(cls, text: str) -> "Kind":
        name, _, value = text.strip().partition(":")
        if name not in KINDS:
            raise GridError(f"--kind {text}: choose maze, loops:P or open:P")
        if name == "maze":
            if value:
                raise GridError(f"--kind {text}: maze takes no value")
            return cls("maze")
        try:
            p = float(value)
        except ValueError:
            raise GridError(f"--kind {text}: {name} needs a probability, e.g. {name}:0.3") from None
        low_open = name == "loops"  # loops:0 is the maze itself; open:0 has no open cell
        if not (0.0 <= p <= 1.0) or (p == 0.0 and not low_open):
            bounds = "0 to 1" if low_open else "above 0 and up to 1"
            raise GridError(f"--kind {text}: P runs from {bounds}")
        return cls(name, p)

    def __str__(self) -> str:
        return self.name if self.name == "maze" else f"{self.name}:{self.p:g}"

    @property
    def carved(self) -> bool:
        """Whether the grid starts from the generator's maze (and so from the clock)."""
        return self.name != "open"

    def shape(self, size: int) -> Tuple[int, int]:
        side = size if self.name == "open" else 2 * (size // 2)
        return side, side

    def corners(self, size: int) -> Tuple[Cell, Cell]:
        """The first and the last cell: a maze's last row and column are walls."""
        rows, cols = self.shape(size)
        last = (rows - 1, cols - 1) if self.name == "open" else (rows - 2, cols - 2)
        return (0, 0), last


def check_endpoints(kind: Kind, endpoints: str) -> None:
    if endpoints not in ENDPOINTS:
        raise GridError(f"--endpoints {endpoints}: choose {', '.join(ENDPOINTS)}")
    if endpoints == "corners" and kind.name == "open" and kind.p < 1.0:
        raise GridError(
            f"--endpoints corners with --kind {kind}: the corners of an open map are open only "
            "with P = 1; choose --endpoints random or dead-ends"
        )
    if endpoints == "dead-ends" and kind.p == 1.0:
        raise GridError(
            f"--endpoints dead-ends with --kind {kind}: a grid with every wall between cells "
            "open has no dead ends; choose a P below 1"
        )


def maze_rng(job_seed: int, maze_id: int) -> np.random.Generator:
    """The draws of one maze's kind and endpoints."""
    return np.random.default_rng([job_seed, maze_id])


def loops(grid: np.ndarray, p: float, rng: np.random.Generator) -> np.ndarray:
    """`grid` (a generated maze) with each wall between two cells opened with probability p.
    Cells sit at even rows and columns; a wall between two sits between them in a row or a
    column; the entries at odd rows and odd columns stay walls, as do the last row and column."""
    rows, cols = grid.shape
    between = np.zeros_like(grid)
    between[0 : rows - 1 : 2, 1 : cols - 2 : 2] = True
    between[1 : rows - 2 : 2, 0 : cols - 1 : 2] = True
    return grid | (between & (rng.random(grid.shape) < p))


def open_map(size: int, p: float, rng: np.random.Generator) -> np.ndarray:
    return rng.random((size, size)) < p


def regions(grid: np.ndarray) -> np.ndarray:
    """For every entry, the flat index of the first entry (in row order) of its open region
    (4-neighbours); walls keep their own index. Union-find in whole-array steps: each round
    hooks the larger root of every edge whose ends differ onto the smaller, then flattens."""
    rows, cols = grid.shape
    index = np.arange(rows * cols).reshape(rows, cols)
    across = grid[:, :-1] & grid[:, 1:]
    down = grid[:-1, :] & grid[1:, :]
    a = np.concatenate([index[:, :-1][across], index[:-1, :][down]])
    b = np.concatenate([index[:, 1:][across], index[1:, :][down]])
    parent = index.ravel().copy()
    while True:
        pa, pb = parent[a], parent[b]
        differ = pa != pb
        if not differ.any():
            return parent
        np.minimum.at(parent, np.maximum(pa, pb)[differ], np.minimum(pa, pb)[differ])
        while True:
            flatter = parent[parent]
            if np.array_equal(flatter, parent):
                break
            parent = flatter


def dead_ends(grid: np.ndarray) -> np.ndarray:
    """Open entries with exactly one open neighbour."""
    padded = np.pad(grid, 1).astype(np.int8)
    neighbours = padded[:-2, 1:-1] + padded[2:, 1:-1] + padded[1:-1, :-2] + padded[1:-1, 2:]
    return grid & (neighbours == 1)


def pick_pair(
    candidates: np.ndarray, label: Optional[np.ndarray], rng: np.random.Generator
) -> Optional[Tuple[int, int]]:
    """Two distinct flat indices from `candidates` (sorted) on one region (`label` per flat
    index; None when the grid is one region), or None when no region holds two."""
    if label is not None:
        labels = label[candidates]
        _, inverse, counts = np.unique(labels, return_inverse=True, return_counts=True)
        candidates = candidates[counts[inverse] >= 2]
    if len(candidates) < 2:
        return None
    start = int(candidates[rng.integers(len(candidates))])
    same = candidates if label is None else candidates[label[candidates] == label[start]]
    others = same[same != start]
    return start, int(others[rng.integers(len(others))])


def endpoints(
    kind: Kind, mode: str, grid: np.ndarray, size: int, rng: Optional[np.random.Generator]
) -> Optional[Tuple[Cell, Cell]]:
    """Start and end of one maze, or None when the grid has no two such cells on one region."""
    if mode == "corners":
        return kind.corners(size)
    flat = grid.ravel()
    candidates = np.flatnonzero(flat if mode == "random" else dead_ends(grid).ravel())
    # A generated maze is one region, and opening walls keeps it one.
    label = regions(grid) if kind.name == "open" else None
    pair = pick_pair(candidates, label, rng)
    if pair is None:
        return None
    cols = grid.shape[1]
    return divmod(pair[0], cols), divmod(pair[1], cols)
