"""Mazes and a signal driver shared by the interrupt, memory and generator tests (NumPy
needed).

The mazes are built here, independently of RandomMazeGenerator, so that these tests do not
depend on it and are the same on every run.
"""

from __future__ import annotations

import _thread
import random
import signal

import numpy
from Corridex import Index

from .grids import carved_maze, open_walls


def perfect_maze(cell_rows, cell_cols, seed, loops=0.0):
    """A random maze of cell_rows x cell_cols cells drawn on a (2r - 1) x (2c - 1) grid (see
    carved_maze); a share `loops` of the remaining walls between cells is opened afterwards,
    adding loops."""
    rng = random.Random(seed)
    return open_walls(rng, carved_maze(rng, cell_rows, cell_cols), loops)


def serpentine(corridors, width=3):
    """Open rows of `width` cells joined at alternate ends into one winding corridor, as a NumPy
    array. From the bottom row, each BellmanFord pass climbs about one row against the order in
    which it relaxes, so it makes about one pass per corridor."""
    grid = numpy.zeros((2 * corridors - 1, width), dtype=bool)
    grid[0::2, :] = True
    grid[1::4, width - 1] = True
    grid[3::4, 0] = True
    return grid


def random_grid(side, seed, open_share=0.7):
    """A square NumPy grid of independently open cells, its corners and their neighbours open.
    With the start at the bottom-right corner, BellmanFord improves each node many times: a few
    seconds at 1500."""
    grid = numpy.random.default_rng(seed).random((side, side)) < open_share
    for row, col in ((0, 0), (0, 1), (1, 0)):
        grid[row, col] = grid[side - 1 - row, side - 1 - col] = True
    return grid


def corners(grid):
    """The top-left and bottom-right cells."""
    return Index(0, 0), Index(len(grid) - 1, len(grid[0]) - 1)


class _Rearm(int):
    """A signal number whose `pending` attribute, when read, makes the signal pending again
    through _thread.interrupt_main, which runs no Python code and checks for no signal itself:
    the handler that reads it returns before the next check for signals, so it runs once at
    each such check rather than again within itself. (interrupt_main takes a signal number from
    CPython 3.10 on: the tests that use this are marked poll_driver.)"""

    pending = property(_thread.interrupt_main)


def at_every_poll(call, handler):
    """Calls call() with handler() run at every check for signals: within the call, at every
    poll of its cancellation; in Python code around it, wherever the interpreter checks. The
    same code runs the same checks, so which check a handler run lands on is the same on every
    run, whatever the machine's speed. Returns call()'s result; an exception from handler()
    goes out through the call, as a signal handler's does."""
    armed = [True]

    def on_signal(signum, frame):
        if armed[0]:
            handler()
            _Rearm(signum).pending  # noqa: B018 - read for its effect

    previous = signal.signal(signal.SIGUSR1, on_signal)
    try:
        _Rearm(signal.SIGUSR1).pending  # noqa: B018
        return call()
    finally:
        armed[0] = False
        for _ in range(2):
            pass  # a loop's jump back checks for signals: the last one pending lands, disarmed
        signal.signal(signal.SIGUSR1, previous)


def on_run(number, action):
    """A handler for at_every_poll that calls action() on its `number`th run only; .runs counts
    the runs."""

    def handler():
        handler.runs += 1
        if handler.runs == number:
            action()

    handler.runs = 0
    return handler
