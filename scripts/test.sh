#!/usr/bin/env bash
# Installs what the tests need, then runs every test: the C++ unit tests, the Python tests
# against the installed module, the C++ tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, a bounded fuzzing run (CORRIDEX_FUZZ_SECONDS, default 60; 0 skips
# it), then clang-tidy, the platform checks (aarch64 under qemu, Windows under wine, Clang with
# libc++), the wheel and sdist checks and both ends of the accepted pybind11 range. The last four
# take about half an hour together; CORRIDEX_QUICK=1 stops after the fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."

install_packages() {
    if [ "$(id -u)" -eq 0 ]; then
        apt-get update -qq
        apt-get install -y -qq "$@"
    else
        sudo apt-get update -qq
        sudo apt-get install -y -qq "$@"
    fi
}

if [ ! -f /usr/include/gtest/gtest.h ] || [ ! -f /usr/include/benchmark/benchmark.h ]; then
    install_packages libgtest-dev libbenchmark-dev
fi
python3 -m pip install --quiet ".[test]"

cmake -S . -B build/cpp -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORRIDEX_WARNINGS_AS_ERRORS=ON
cmake --build build/cpp
ctest --test-dir build/cpp --output-on-failure --no-tests=error

python3 -m pytest

# Any sanitizer report aborts its test and fails the run.
cmake --preset asan
cmake --build --preset asan
ctest --preset asan -j2

fuzz_seconds="${CORRIDEX_FUZZ_SECONDS:-60}"
if [ "$fuzz_seconds" -gt 0 ]; then
    libfuzzer_works() {
        command -v clang++ >/dev/null &&
            echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
            clang++ -x c++ -fsanitize=fuzzer - -o /tmp/corridex-libfuzzer-check 2>/dev/null
    }
    if ! libfuzzer_works; then
        install_packages clang libclang-rt-dev
    fi
    cmake --preset fuzz
    cmake --build --preset fuzz
    # New inputs go to the scratch corpus; an input that breaks an invariant is written to
    # tests/fuzz/regressions/, which every later test build replays.
    mkdir -p build/fuzz/corpus
    if ! build/fuzz/tests/fuzz/corridex_fuzz -max_total_time="$fuzz_seconds" -max_len=256 \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix=tests/fuzz/regressions/ \
        build/fuzz/corpus tests/fuzz/regressions >build/fuzz/fuzz.log 2>&1; then
        tail -n 60 build/fuzz/fuzz.log
        echo "fuzzing broke an invariant; the input is in tests/fuzz/regressions/" >&2
        exit 1
    fi
    grep -E "^stat::number_of_executed_units|Done [0-9]+ runs" build/fuzz/fuzz.log || true
fi

if [ "${CORRIDEX_QUICK:-0}" = 1 ]; then
    exit 0
fi
bash scripts/tidy.sh
bash scripts/check_platforms.sh
bash scripts/check_wheels.sh
bash scripts/check_pybind11_range.sh
