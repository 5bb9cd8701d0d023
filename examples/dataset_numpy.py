#!/usr/bin/env python3
"""Load a dataset made by examples/dataset.py as NumPy arrays and feed it to a training loop.

    python examples/dataset.py --mazes 2000 --size 21 --endpoints random --out mazes
    python examples/dataset_numpy.py mazes --solver BreadthFirstSearch --epochs 3

`load` turns one solver's rows into arrays a model can take: the grids as (N, rows, cols) bool,
the start and end as (N, 2) ints, the route as a (N, rows, cols) mask, the distances, and the
pictures as (N, rows, cols) palette indices when the dataset has them. The loop below fits the
smallest model there is, a per-entry logistic regression from (open, start, end, the entry's
distances to both) to "on the route", in plain NumPy: a stand-in for your model, to show the
shapes and the batching. It needs NumPy and pyarrow only (Pillow too for the pictures).
"""

from __future__ import annotations

import argparse
import io
import sys
from typing import Dict, Iterator

import numpy as np
import pyarrow.parquet as pq


def load(path: str, solver: str, pictures: bool = False) -> Dict[str, np.ndarray]:
    """One solver's rows of the dataset at `path` (every grid of one dataset has one shape)."""
    table = pq.read_table(path, filters=[("solver", "=", solver)])
    if table.num_rows == 0:
        raise SystemExit(f"{path} has no rows for {solver}")
    rows, cols = table["rows"][0].as_py(), table["cols"][0].as_py()
    count = table.num_rows
    packed = np.frombuffer(b"".join(table["maze"].to_pylist()), dtype=np.uint8)
    grids = np.unpackbits(packed.reshape(count, -1), axis=1, count=rows * cols)
    grids = grids.reshape(count, rows, cols).astype(bool)
    # Routes: flat values and offsets of the list columns, scattered into a mask at once.
    route_row, route_col = table["route_row"].combine_chunks(), table["route_col"].combine_chunks()
    lengths = np.diff(route_row.offsets.to_numpy())
    which = np.repeat(np.arange(count), lengths)
    route = np.zeros((count, rows, cols), dtype=bool)
    route[which, route_row.values.to_numpy(), route_col.values.to_numpy()] = True
    arrays = {
        "grid": grids,
        "start": np.stack([table["start_row"].to_numpy(), table["start_col"].to_numpy()], 1),
        "end": np.stack([table["end_row"].to_numpy(), table["end_col"].to_numpy()], 1),
        "route": route,
        "distance": table["distance"].to_numpy(),
    }
    if pictures and "image" in table.column_names:
        from PIL import Image

        arrays["picture"] = np.stack(
            [np.asarray(Image.open(io.BytesIO(png))) for png in table["image"].to_pylist()])
    return arrays


def features(arrays: Dict[str, np.ndarray], index: np.ndarray) -> np.ndarray:
    """(batch, rows, cols, 5) inputs: open, start, end, and the distances to start and end."""
    grid = arrays["grid"][index]
    count, rows, cols = grid.shape
    r, c = np.meshgrid(np.arange(rows), np.arange(cols), indexing="ij")
    x = np.zeros((count, rows, cols, 5), dtype=np.float32)
    x[..., 0] = grid
    for channel, name in ((1, "start"), (2, "end")):
        at = arrays[name][index]
        x[np.arange(count), at[:, 0], at[:, 1], channel] = 1
        x[..., channel + 2] = (np.abs(r - at[:, :1, None]) + np.abs(c - at[:, 1:, None])) / rows
    return x


def batches(count: int, size: int, rng: np.random.Generator) -> Iterator[np.ndarray]:
    order = rng.permutation(count)
    for first in range(0, count, size):
        yield order[first : first + size]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("path", help="the dataset folder")
    parser.add_argument("--solver", default="BreadthFirstSearch")
    parser.add_argument("--epochs", type=int, default=3)
    parser.add_argument("--batch", type=int, default=64)
    parser.add_argument("--rate", type=float, default=0.5)
    args = parser.parse_args()

    arrays = load(args.path, args.solver, pictures=True)
    count = len(arrays["grid"])
    print(", ".join(f"{name} {array.shape} {array.dtype}" for name, array in arrays.items()))
    rng = np.random.default_rng(0)
    weights, bias = np.zeros(5, dtype=np.float32), np.float32(0)
    for epoch in range(args.epochs):
        losses = []
        for index in batches(count, args.batch, rng):
            x, y = features(arrays, index), arrays["route"][index].astype(np.float32)
            p = 1 / (1 + np.exp(-(x @ weights + bias)))
            losses.append(-np.mean(y * np.log(p + 1e-7) + (1 - y) * np.log(1 - p + 1e-7)))
            gradient = (p - y)[..., None] * x
            weights -= args.rate * gradient.mean(axis=(0, 1, 2))
            bias -= args.rate * np.mean(p - y)
        print(f"epoch {epoch + 1}: loss {np.mean(losses):.4f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
