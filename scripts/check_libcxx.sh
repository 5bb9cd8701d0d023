#!/usr/bin/env bash
# Clang with LLVM's standard library, libc++, instead of GCC's libstdc++: builds and runs the C++
# tests (GoogleTest built with libc++ too), then builds the Python module the same way, through
# pip into a private venv under build/, and runs the Python tests and benchmarks/fingerprint.py
# against it. Installs what it needs; about 4 minutes.
set -euo pipefail
source "$(dirname "$0")/platforms/common.sh"
export CMAKE_BUILD_PARALLEL_LEVEL=2

TOOLCHAIN="$ROOT_DIR/cmake/toolchains/clang-libcxx.cmake"
VENV="$ROOT_DIR/build/libcxx-venv"

install_packages clang libc++-dev libc++abi-dev
require_cmake_and_ninja

cpp_tests() {
    build_gtest libcxx -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN"
    cmake --preset libcxx >/dev/null
    cmake --build --preset libcxx
    ctest --preset libcxx -j2
}

python_tests() {
    python3 -c "import ensurepip" 2>/dev/null || install_packages python3-venv
    rm -rf "$VENV"
    python3 -m venv "$VENV"
    # Its own build folder: the one in pyproject.toml may hold another compiler's CMake cache.
    CMAKE_ARGS="-DCMAKE_TOOLCHAIN_FILE=$TOOLCHAIN -DCORRIDEX_WARNINGS_AS_ERRORS=ON" \
        "$VENV/bin/python" -m pip install --quiet --disable-pip-version-check \
        --config-settings=build-dir=build/libcxx-wheel ".[test]"
    local module
    module="$("$VENV/bin/python" -c 'import Corridex; print(Corridex.__file__)')"
    local libraries
    libraries="$(ldd "$module")"
    if [[ "$libraries" != *"libc++.so"* ]]; then
        echo "$module is not linked with libc++" >&2
        return 1
    fi
    echo "$module links libc++"
    "$VENV/bin/python" -m pytest -q -p no:cacheprovider
    "$VENV/bin/python" benchmarks/fingerprint.py >build/libcxx-fingerprint.txt
    check_fingerprint build/libcxx-fingerprint.txt
}

step "libc++: C++ tests" cpp_tests
step "libc++: Python module and tests" python_tests
