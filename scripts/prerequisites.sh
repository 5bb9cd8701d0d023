#!/usr/bin/env bash
# The machine's prerequisites for every test run, the one place they are installed: Debian 12
# packages for the builds (CMake, Ninja, GCC, Python's venv), the C++ tests and benchmark
# (GoogleTest, Google Benchmark and its compare.py) and the full set's other platforms (clang
# with libFuzzer, clang-tidy and libc++, the aarch64 and mingw-w64 cross compilers, qemu, wine,
# and debootstrap, with which scripts/debian_root.py makes the toolchain checks' private Debian
# roots). Run as root or with sudo; nothing else in the project installs on this machine
# (debian_root.py installs only inside its roots). The package lists are refreshed only when
# something is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ git python3 python3-venv python3-dev
    libgtest-dev libbenchmark-dev libbenchmark-tools
    clang libclang-rt-dev clang-tidy libc++-dev libc++abi-dev
    g++-aarch64-linux-gnu qemu-user
    g++-mingw-w64-x86-64-posix wine wine64
    debootstrap
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
        missing+=("$package")
done
if [ "${#missing[@]}" -eq 0 ]; then
    echo "prerequisites: all ${#packages[@]} packages installed"
    exit 0
fi
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "prerequisites: installing ${missing[*]}"
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y "${missing[@]}"
