#!/usr/bin/env bash
# Runs the tests through nox (noxfile.py), from a venv of its own made on first use under
# ${XDG_CACHE_HOME:-~/.cache}/corridex/tools (the system's python3 is left alone):
#
#   bash scripts/test.sh           the everyday run (nox -s test), a few minutes
#   bash scripts/test.sh --full    every other check (nox -s full), 30 minutes (an hour cold)
#   bash scripts/test.sh -s asan   any other nox arguments: one session, -l to list them
#
# Installs nothing with apt (scripts/prerequisites.sh does).
set -euo pipefail
cd "$(dirname "$0")/.."
tools="${XDG_CACHE_HOME:-$HOME/.cache}/corridex/tools"
if [ ! -x "$tools/bin/nox" ]; then
    echo "making $tools, a venv with nox"
    python3 -m venv "$tools"
    "$tools/bin/python" -m pip install --disable-pip-version-check "nox>=2024.4"
fi
case "${1:-}" in
"") arguments=(-s test) ;;
--full) arguments=(-s full) ;;
*) arguments=("$@") ;;
esac
# The session's closing line of counts comes last, after nox's own.
rm -f build/verdict.txt
status=0
"$tools/bin/nox" "${arguments[@]}" || status=$?
[ ! -f build/verdict.txt ] || cat build/verdict.txt
exit "$status"
