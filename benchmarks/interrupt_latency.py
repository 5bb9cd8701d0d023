"""How long Ctrl-C takes to end long work: SIGINT at a few moments into each kind of work, and
the time from the signal to the KeyboardInterrupt in the child, in milliseconds.

    python3 benchmarks/interrupt_latency.py            # every kind of work, 0.2, 0.5 and 1 s in
    python3 benchmarks/interrupt_latency.py --repeat 3 --work floyd-warshall-150
"""

import argparse
import signal
import subprocess
import sys
import textwrap
import time

# Each sets up `work` (and prints nothing); the child times from the signal to the interrupt.
WORK = {
    "floyd-warshall-150": """
        grid = numpy.ones((150, 150), dtype=bool)
        solver = Corridex.FloydWarshall(grid, Index(0, 0), Index(149, 149))
        work = solver.solve
    """,
    "grid-of-ints-8000": """
        grid = [[1] * 8000 for _ in range(8000)]
        work = lambda: Corridex.BreadthFirstSearch(grid, Index(0, 0), Index(7999, 7999))
    """,
    "traversed-list-3000": """
        solver = Corridex.BreadthFirstSearch(numpy.ones((3000, 3000), dtype=bool), Index(0, 0),
                                             Index(2999, 2999))
        solver.solve()
        def work():
            for _ in range(1000):
                solver.TraversedNodes()  # each list is freed before the next is made
    """,
    "generate-12000": """
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


def latency(work, delay):
    """Milliseconds from sending SIGINT `delay` s into the work to the child's KeyboardInterrupt;
    None when the work ended first."""
    script = CHILD.format(setup=textwrap.dedent(WORK[work]))
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline().strip() == "ready"
        time.sleep(delay)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        words = child.stdout.readline().split()
    finally:
        child.kill()
        child.wait()
    if not words or words[0] != "interrupted":
        return None
    # time.monotonic() is one clock for every process on Linux.
    return (float(words[1]) - sent) * 1000


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", choices=sorted(WORK), action="append")
    parser.add_argument("--delays", type=float, nargs="+", default=[0.2, 0.5, 1.0])
    parser.add_argument("--repeat", type=int, default=1)
    args = parser.parse_args()
    for work in args.work or list(WORK):
        for delay in args.delays:
            figures = [latency(work, delay) for _ in range(args.repeat)]
            shown = ", ".join("finished first" if f is None else f"{f:.1f}" for f in figures)
            print(f"{work:22} SIGINT {delay:.1f} s in: {shown} ms", flush=True)


if __name__ == "__main__":
    main()
