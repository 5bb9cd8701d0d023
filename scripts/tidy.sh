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
python3 -m pip install --quiet "pybind11>=2.10,<3.2"

cmake --preset tidy -Dpybind11_DIR="$(python3 -m pybind11 --cmakedir)"
# -k 0: report every file with a warning, not only the first.
cmake --build --preset tidy -j2 -- -k 0
