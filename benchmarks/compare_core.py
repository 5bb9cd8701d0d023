"""Speed-up of one build of the C++ core benchmark over another, measured in the same run.

    python benchmarks/compare_core.py BEFORE_BINARY AFTER_BINARY [--filter REGEX] [--rounds 5]

The two binaries run alternately, `--rounds` times each, and each benchmark's best CPU time is
kept: on a shared machine the best of several alternating runs is far steadier than one run of
each, since both builds see the same spells of interference.
"""

from __future__ import annotations

import argparse
import json
import subprocess


def cpu_times(binary, pattern):
    """{benchmark name: CPU time in its own unit} from one run of `binary`."""
    done = subprocess.run(
        [binary, f"--benchmark_filter={pattern}", "--benchmark_format=json"],
        capture_output=True, text=True, check=True)
    return {b["name"]: b["cpu_time"] for b in json.loads(done.stdout)["benchmarks"]}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--filter", default=".", help="regular expression of benchmark names")
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    best = {"before": {}, "after": {}}
    for _ in range(args.rounds):
        for build in ("before", "after"):
            for name, seconds in cpu_times(getattr(args, build), args.filter).items():
                best[build][name] = min(seconds, best[build].get(name, seconds))
    print(f"{'benchmark':40s} {'before':>10s} {'after':>10s} {'speed-up':>9s}")
    for name, before in best["before"].items():
        after = best["after"].get(name)
        if after:
            print(f"{name:40s} {before:10.2f} {after:10.2f} {before / after:8.2f}x")


if __name__ == "__main__":
    main()
