#!/usr/bin/env bash
# Installs Corridex with the demo's one extra (Pillow, for the pictures) into a venv of its own,
# ${XDG_CACHE_HOME:-~/.cache}/corridex/demo-venv (the system's python3 is left alone), then runs
# the demo there. Arguments go to the demo: try --help, --size 101 --gif, or --loops 40.
#
# The install compiles the module (a minute or two the first time, its progress shown), so it is
# skipped when the venv's Corridex was installed by this script from the same sources. At
# install time a stamp in the venv records a SHA-256 over the C++ sources, the type stubs and
# the build files, with the installed module's path and modification time; the next run
# recomputes both (milliseconds) and installs again on any difference, so an edited source or an
# install from elsewhere in the meantime is noticed.
set -euo pipefail
cd "$(dirname "$0")/.."
venv="${XDG_CACHE_HOME:-$HOME/.cache}/corridex/demo-venv"
python="$venv/bin/python"

sources_hash() {
    find CMakeLists.txt pyproject.toml Corridex.pyi system maze solvers generator module -type f -print0 |
        LC_ALL=C sort -z | xargs -0 sha256sum | sha256sum | cut -d' ' -f1
}
installed_module() {
    "$python" -c 'import os, Corridex, PIL; print(Corridex.__file__, os.stat(Corridex.__file__).st_mtime_ns)' \
        2>/dev/null || true
}

if [ ! -x "$python" ]; then
    echo "making $venv"
    python3 -m venv "$venv"
fi
stamp="$venv/corridex-demo.stamp"
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$(sources_hash) $(installed_module)" ]; then
    echo "building and installing Corridex into $venv"
    # -v for the compiler's progress, of which the build steps are shown; the rest is in the log.
    log="$venv/install.log"
    if ! "$python" -m pip install --disable-pip-version-check -v ".[demo]" 2>&1 | tee "$log" |
        { grep --line-buffered -E '^ *\[[0-9]+/[0-9]+\]|^Successfully installed' || true; }; then
        tail -n 40 "$log"
        exit 1
    fi
    echo "$(sources_hash) $(installed_module)" >"$stamp"
fi
"$python" examples/demo.py "$@"
