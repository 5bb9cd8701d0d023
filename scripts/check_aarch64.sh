#!/usr/bin/env bash
# Linux on 64-bit Arm, from this x86-64 machine: cross-compiles the core and the C++ tests with
# Debian's g++-aarch64-linux-gnu and runs them under qemu-aarch64; then builds the Python module
# for aarch64 and runs the Python tests and benchmarks/fingerprint.py under qemu-aarch64 with
# Debian's arm64 CPython 3.11, unpacked into build/aarch64-root (the host's Python is untouched).
# The digests must equal the x86-64 ones. Installs what it needs; about 9 minutes.
set -euo pipefail
source "$(dirname "$0")/platforms/common.sh"
export CMAKE_BUILD_PARALLEL_LEVEL=2

PY_ROOT="$ROOT_DIR/build/aarch64-root"
MODULE_DIR="$ROOT_DIR/build/aarch64-python/site"
HOST_TOOLS="$ROOT_DIR/build/aarch64-host-tools"
TOOLCHAIN="$ROOT_DIR/cmake/toolchains/aarch64-linux-gnu.cmake"

cpp_tests() {
    install_packages g++-aarch64-linux-gnu qemu-user
    require_cmake_and_ninja
    build_gtest aarch64 -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN"
    cmake --preset aarch64 >/dev/null
    cmake --build --preset aarch64
    ctest --preset aarch64 -j2
}

# CPython 3.11 for arm64 and the shared libraries it loads, from Debian's archive.
python_root() {
    if ! dpkg --print-foreign-architectures | grep -qx arm64; then
        dpkg --add-architecture arm64
        unset CORRIDEX_APT_UPDATED # the arm64 package lists are not there yet
    fi
    if [ -z "${CORRIDEX_APT_UPDATED:-}" ]; then
        apt-get update -qq
        export CORRIDEX_APT_UPDATED=1
    fi
    local packages=(python3.11-minimal libpython3.11-minimal libpython3.11-stdlib libpython3.11
        libpython3.11-dev libc6 libgcc-s1 libstdc++6 zlib1g libexpat1 libffi8 libssl3 libbz2-1.0
        liblzma5 libsqlite3-0 libuuid1 libncursesw6 libtinfo6 libreadline8 libcrypt1 libtirpc3
        libnsl2 libdb5.3 libgssapi-krb5-2 libkrb5-3 libk5crypto3 libkrb5support0 libcom-err2
        libkeyutils1)
    rm -rf "$PY_ROOT" "$ROOT_DIR/build/aarch64-debs"
    mkdir -p "$PY_ROOT" "$ROOT_DIR/build/aarch64-debs"
    if ! (cd "$ROOT_DIR/build/aarch64-debs" && apt-get download "${packages[@]/%/:arm64}") \
        >build/aarch64-download.log 2>&1; then
        cat build/aarch64-download.log
        return 1
    fi
    local deb
    for deb in "$ROOT_DIR"/build/aarch64-debs/*.deb; do
        dpkg -x "$deb" "$PY_ROOT"
    done
    # Started through this script, the interpreter names the script as sys.executable, so the
    # tests' own child interpreters run under qemu too (nothing here registers qemu with the
    # kernel for arm64 programs).
    cat >"$PY_ROOT/usr/bin/python3-qemu" <<EOF
#!/bin/sh
exec qemu-aarch64 -L "$PY_ROOT" -0 "\$0" "$PY_ROOT/usr/bin/python3.11" "\$@"
EOF
    chmod +x "$PY_ROOT/usr/bin/python3-qemu"
    # The test dependencies as arm64 wheels, beside the interpreter.
    python3 -m pip install --quiet --disable-pip-version-check --target "$PY_ROOT/site" \
        --platform manylinux2014_aarch64 --python-version 3.11 --implementation cp \
        --only-binary=:all: pytest numpy Pillow
    "$PY_ROOT/usr/bin/python3-qemu" -c 'import platform, sys; print(sys.version, platform.machine())'
}

python_module() {
    install_packages g++-aarch64-linux-gnu
    require_cmake_and_ninja
    # pybind11 is header-only: the host's copy serves any target.
    python3 -m pip install --quiet --disable-pip-version-check --upgrade --target "$HOST_TOOLS" \
        "pybind11>=2.10"
    local include="$PY_ROOT/usr/include"
    # SKBUILD selects the module build, as scikit-build-core does for a wheel; the suffix and
    # the headers are given since no arm64 interpreter can be asked at configure time.
    cmake -S . -B build/aarch64-python -G Ninja --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DSKBUILD=2 -DCORRIDEX_WARNINGS_AS_ERRORS=ON \
        -Dpybind11_DIR="$HOST_TOOLS/pybind11/share/cmake/pybind11" \
        -DPYBIND11_USE_CROSSCOMPILING=ON -DPython_INCLUDE_DIR="$include/python3.11" \
        -DCMAKE_CXX_FLAGS="-isystem $include" -DPYTHON_IS_DEBUG=OFF \
        -DPYTHON_MODULE_EXTENSION=.cpython-311-aarch64-linux-gnu.so \
        -DPYTHON_MODULE_DEBUG_POSTFIX= >/dev/null
    cmake --build build/aarch64-python
    rm -rf "$MODULE_DIR"
    cmake --install build/aarch64-python --prefix "$MODULE_DIR" >/dev/null
}

python_tests() {
    export PYTHONPATH="$MODULE_DIR:$PY_ROOT/site"
    local python="$PY_ROOT/usr/bin/python3-qemu"
    # The fingerprint takes minutes under qemu; it runs beside the tests, on the second core.
    "$python" benchmarks/fingerprint.py >build/aarch64-fingerprint.txt &
    local fingerprint=$!
    echo "test_stubs needs mypy, which is not installed for arm64: the stubs are checked by the"
    echo "x86-64 run (scripts/test.sh) and do not depend on the processor."
    echo "test_memory.py's resident-size tests are left out: under qemu the process's resident size"
    echo "includes the emulator's own cache of translated code, which grows as the tests run."
    local status=0
    "$python" -m pytest -q -p no:cacheprovider -k "not kept_index and not every_object_is_gone" ||
        status=$?
    wait "$fingerprint"
    check_fingerprint build/aarch64-fingerprint.txt
    return "$status"
}

step "aarch64: C++ tests under qemu-aarch64" cpp_tests
step "aarch64: CPython 3.11 for arm64" python_root
step "aarch64: Python module" python_module
step "aarch64: Python tests and fingerprint under qemu-aarch64" python_tests
