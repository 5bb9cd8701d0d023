"""Every header of the core compiles alone: for each .hpp outside module/, tests/ and benchmarks/,
a translation unit that includes only it is compiled (syntax only) with the project's warnings as
errors. A header that uses a name from a header it does not include fails here, even where the
build passes because another include brought that name in first.

    python3 scripts/check_headers.py [--std c++17] CXX [FLAG...]

e.g. `check_headers.py g++-16` or `check_headers.py clang++-21 -stdlib=libc++`. Standard libraries
drop transitive includes from release to release, so this is run with the newest ones.
"""

from __future__ import annotations

import argparse
import concurrent.futures
import os
import pathlib
import subprocess
import sys

CHECKOUT = pathlib.Path(__file__).resolve().parent.parent
# Not the core: the binding needs pybind11 and Python's headers, the others GoogleTest.
NOT_CORE = {"module", "tests", "benchmarks", "examples", "build", "docs", "scripts", "cmake"}
# The project's own warnings (CMakeLists.txt, corridex_warnings).
WARNINGS = ["-Wall", "-Wextra", "-Wpedantic", "-Wconversion", "-Wsign-conversion", "-Werror"]


def core_headers():
    return sorted(path.relative_to(CHECKOUT).as_posix()
                  for path in CHECKOUT.rglob("*.hpp")
                  if path.relative_to(CHECKOUT).parts[0] not in NOT_CORE
                  and not path.relative_to(CHECKOUT).parts[0].startswith("."))


def compile_alone(compiler, header):
    unit = f'#include "{header}"\n'
    done = subprocess.run([*compiler, "-fsyntax-only", "-x", "c++", f"-I{CHECKOUT}", "-"],
                          input=unit, capture_output=True, text=True)
    return header, done.returncode, done.stdout + done.stderr


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--std", default="c++17")
    parser.add_argument("compiler", nargs=argparse.REMAINDER)
    arguments = parser.parse_args()
    if not arguments.compiler:
        parser.error("name the compiler")
    compiler = [*arguments.compiler, f"-std={arguments.std}", *WARNINGS]
    headers = core_headers()
    jobs = int(os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2"))
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        results = list(pool.map(lambda header: compile_alone(compiler, header), headers))
    failed = [(header, output) for header, status, output in results if status != 0]
    for header, output in failed:
        print(f"--- {header} does not compile alone:\n{output}")
    version = subprocess.run([arguments.compiler[0], "--version"], capture_output=True,
                             text=True).stdout.splitlines()[0]
    print(f"headers ({version}, {' '.join(arguments.compiler[1:])} -std={arguments.std}): "
          f"{len(headers) - len(failed)} passed, {len(failed)} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
