#!/usr/bin/env bash
# Installs what the tests need, then runs every test: the C++ unit tests, then the Python tests
# against the installed module.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ ! -f /usr/include/gtest/gtest.h ] || [ ! -f /usr/include/benchmark/benchmark.h ]; then
    if [ "$(id -u)" -eq 0 ]; then
        apt-get update -qq
        apt-get install -y -qq libgtest-dev libbenchmark-dev
    else
        sudo apt-get update -qq
        sudo apt-get install -y -qq libgtest-dev libbenchmark-dev
    fi
fi
python3 -m pip install --quiet ".[test]"

cmake -S . -B build/cpp -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORRIDEX_WARNINGS_AS_ERRORS=ON
cmake --build build/cpp
ctest --test-dir build/cpp --output-on-failure --no-tests=error

python3 -m pytest
