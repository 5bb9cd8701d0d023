"""This build gives every solver's results bit for bit: the digests of benchmarks/fingerprint.py
equal the ones recorded in scripts/platforms/fingerprint.txt, on every platform and build.
After a deliberate change of results, `--update-fingerprint` rewrites the file."""

from __future__ import annotations

import importlib.util
import pathlib

ROOT = pathlib.Path(__file__).resolve().parents[2]
RECORDED = ROOT / "scripts" / "platforms" / "fingerprint.txt"


def load_fingerprint():
    spec = importlib.util.spec_from_file_location(
        "corridex_fingerprint", ROOT / "benchmarks" / "fingerprint.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def recorded_digests():
    lines = RECORDED.read_text().splitlines()
    return dict(line.split() for line in lines if line.strip())


def test_results_match_the_recorded_fingerprint(request):
    fingerprint = load_fingerprint()
    digests = {kind: fingerprint.digest(kind) for kind in fingerprint.PLAN}
    if request.config.getoption("--update-fingerprint"):
        RECORDED.write_text("".join(f"{kind:8s} {value}\n" for kind, value in digests.items()))
    differing = {kind: value for kind, value in digests.items()
                 if recorded_digests().get(kind) != value}
    assert not differing, f"results differ from {RECORDED.name} for {sorted(differing)}: {differing}"
    assert sorted(recorded_digests()) == sorted(digests), "maze kinds differ from the record"
