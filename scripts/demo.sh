#!/usr/bin/env bash
# Installs Corridex with the demo's one extra (Pillow, for the pictures), then runs the demo.
# Arguments go to the demo: try --help, --size 101 --gif, or --loops 40.
#
# The install compiles the module (about half a minute), so it is skipped when this Python's
# Corridex was installed by this script from the same sources. At install time a stamp (one per
# Python environment, under build/) records a SHA-256 over the C++ sources, the type stubs and
# the build files, with the installed module's path and modification time; the next run
# recomputes both (milliseconds) and installs again on any difference, so an edited source or an
# install from elsewhere in the meantime is noticed.
set -euo pipefail
cd "$(dirname "$0")/.."

sources_hash() {
    find CMakeLists.txt pyproject.toml Corridex.pyi maze solvers generator module -type f -print0 |
        LC_ALL=C sort -z | xargs -0 sha256sum | sha256sum | cut -d' ' -f1
}
installed_module() {
    python3 -c 'import os, Corridex, PIL; print(Corridex.__file__, os.stat(Corridex.__file__).st_mtime_ns)' \
        2>/dev/null || true
}

environment="$(python3 -c 'import sys; print(sys.prefix)' | sha256sum | cut -c1-16)"
stamp="build/demo-install-$environment.stamp"
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$(sources_hash) $(installed_module)" ]; then
    python3 -m pip install --quiet ".[demo]"
    mkdir -p build
    echo "$(sources_hash) $(installed_module)" >"$stamp"
fi
python3 examples/demo.py "$@"
