#!/usr/bin/env bash
# Builds the core, the extension and the C++ tests with clang-tidy (checks in .clang-tidy) run on
# every file; any warning fails the build. Installs clang-tidy and GoogleTest when missing, and
# pybind11 into the current Python, whose headers the extension's compile commands need.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-tidy >/dev/null || [ ! -f /usr/include/gtest/gtest.h ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq clang-tidy libgtest-dev
fi
# The tested range of pyproject.toml's build requirements.
python3 -m pip install --quiet "$(python3 -c 'import re, tomllib
requires = tomllib.load(open("pyproject.toml", "rb"))["build-system"]["requires"]
print(next(r for r in requires if re.match(r"pybind11\b", r)))')"

cmake --preset tidy -Dpybind11_DIR="$(python3 -m pybind11 --cmakedir)"
# -k 0: report every file with a warning, not only the first.
cmake --build --preset tidy -j2 -- -k 0
