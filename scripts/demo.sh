#!/usr/bin/env bash
# Installs Corridex with the demo's one extra (Pillow, for the pictures), then runs the demo.
# Arguments go to the demo: try --help, --size 101 --gif, or --loops 40.
set -euo pipefail
cd "$(dirname "$0")/.."
python3 -m pip install --quiet ".[demo]"
python3 examples/demo.py "$@"
