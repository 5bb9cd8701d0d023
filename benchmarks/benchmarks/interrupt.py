"""How soon Ctrl-C ends long work: SIGINT a moment into each kind of work, and the milliseconds
from the signal to the KeyboardInterrupt in the child (the tests check that it arrives, not how
soon). What is left after the poll is mostly giving back what the work had built."""

import signal
import subprocess
import sys
import textwrap
import time

# Each sets up `work` and prints nothing.
WORK = {
    "FloydWarshall 150 x 150": """
        solver = Corridex.FloydWarshall(numpy.ones((150, 150), dtype=bool), Index(0, 0),
                                        Index(149, 149))
        work = solver.solve
    """,
    "grid of 8000 x 8000 ints": """
        grid = [[1] * 8000 for _ in range(8000)]
        work = lambda: Corridex.BreadthFirstSearch(grid, Index(0, 0), Index(7999, 7999))
    """,
    "visited lists of 9 million cells": """
        solver = Corridex.BreadthFirstSearch(numpy.ones((3000, 3000), dtype=bool), Index(0, 0),
                                             Index(2999, 2999))
        solver.solve()
        def work():
            for _ in range(1000):
                solver.TraversedNodes()
    """,
    "RandomMazeGenerator 12000 x 12000": """
        work = Corridex.RandomMazeGenerator(12_000, 12_000).generate
    """,
}

CHILD = """
import time
import numpy
import Corridex
from Corridex import Index
{setup}
print("ready", flush=True)
try:
    work()
    print("finished", flush=True)
except KeyboardInterrupt:
    print(f"interrupted {{time.monotonic()!r}}", flush=True)
"""


class CtrlC:
    params = [list(WORK), [0.2, 1.0]]
    param_names = ["work", "signal after (s)"]
    rounds = 1
    timeout = 600
    unit = "ms"

    def track_latency(self, work, delay):
        child = subprocess.Popen([sys.executable, "-c", CHILD.format(
            setup=textwrap.dedent(WORK[work]))], stdout=subprocess.PIPE, text=True)
        try:
            assert child.stdout.readline().strip() == "ready"
            time.sleep(delay)
            sent = time.monotonic()  # one clock for every process on Linux
            child.send_signal(signal.SIGINT)
            words = child.stdout.readline().split()
        finally:
            child.kill()
            child.wait()
        return (float(words[1]) - sent) * 1000 if words[:1] == ["interrupted"] else float("nan")
