# Helpers shared by the platform checks (scripts/check_*.sh); sourced, not run.
# shellcheck shell=bash

cd "$(dirname "${BASH_SOURCE[0]}")/../.."
ROOT_DIR="$PWD"

# Installs the Debian packages not yet installed; the package lists are refreshed once per run
# (only when something is missing).
install_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
            missing+=("$package")
    done
    [ "${#missing[@]}" -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    if [ -z "${CORRIDEX_APT_UPDATED:-}" ]; then
        "${sudo[@]}" apt-get update -qq
        export CORRIDEX_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}

# CMake and Ninja from the system when the machine has neither.
require_cmake_and_ninja() {
    local packages=()
    command -v cmake >/dev/null || packages+=(cmake)
    command -v ninja >/dev/null || packages+=(ninja-build)
    [ "${#packages[@]}" -eq 0 ] || install_packages "${packages[@]}"
}

# Builds GoogleTest from Debian's sources (libgtest-dev) with the given CMake arguments, usually
# a toolchain file, and installs it under build/gtest-NAME: a test program and its GoogleTest
# must come from one compiler and one standard library.
build_gtest() {
    local name="$1"
    shift
    local prefix="$ROOT_DIR/build/gtest-$name"
    install_packages libgtest-dev
    if [ ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
        cmake -S /usr/src/googletest -B "$prefix/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$prefix" \
            -DCMAKE_INSTALL_LIBDIR=lib -Wno-dev "$@" >/dev/null
        cmake --build "$prefix/build" >/dev/null
        cmake --install "$prefix/build" >/dev/null
    fi
}

# Runs a named step and reports how long it took.
step() {
    local name="$1"
    shift
    local started=$SECONDS
    echo "== $name"
    "$@"
    echo "== $name: done in $((SECONDS - started)) s"
}

# The digests of benchmarks/fingerprint.py that every build must print (made by the x86-64 GCC
# build); `check_fingerprint FILE` compares a run's output with them.
check_fingerprint() {
    if diff -u "$ROOT_DIR/scripts/platforms/fingerprint.txt" "$1"; then
        echo "fingerprint digests equal the x86-64 ones"
    else
        echo "fingerprint digests differ from the x86-64 ones" >&2
        return 1
    fi
}
