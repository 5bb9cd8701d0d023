#!/usr/bin/env bash
# 64-bit Windows, from this Linux machine: cross-compiles the core and the C++ tests with
# mingw-w64 (g++-mingw-w64-x86-64-posix) and runs them under wine, headless, in a private
# WINEPREFIX under build/. Where wine cannot start a program here, it says so and the cross
# build stays the check. Installs what it needs; about 2 minutes.
set -euo pipefail
source "$(dirname "$0")/platforms/common.sh"
export CMAKE_BUILD_PARALLEL_LEVEL=2

export WINEPREFIX="$ROOT_DIR/build/wine-prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no prompts to install .NET or a browser engine

install_packages g++-mingw-w64-x86-64-posix wine wine64
require_cmake_and_ninja

cross_build() {
    build_gtest mingw -DCMAKE_TOOLCHAIN_FILE="$ROOT_DIR/cmake/toolchains/x86_64-w64-mingw32.cmake"
    # Tests are listed when ctest starts, not while building, so the build needs no wine.
    cmake --preset mingw -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST >/dev/null
    cmake --build --preset mingw
}

wine_tests() {
    mkdir -p "$WINEPREFIX"
    # The first start creates the prefix, which takes a while; later starts are quick.
    if ! wine cmd /c exit 0 >build/wine-start.log 2>&1; then
        cat build/wine-start.log
        echo "wine cannot start a Windows program here: the C++ tests were built, not run."
        return 0
    fi
    local status=0
    ctest --preset mingw -j2 || status=$?
    wineserver -k || true # the prefix's server would otherwise linger for a few seconds
    return "$status"
}

step "windows: mingw-w64 cross build" cross_build
step "windows: C++ tests under wine" wine_tests
