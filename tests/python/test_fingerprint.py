"""This build gives every solver's results bit for bit: the digests of corridex_support.fingerprint
equal the ones recorded in scripts/platforms/fingerprint.txt, on every platform and build.
After a deliberate change of results, `--update-fingerprint` rewrites the file."""

from __future__ import annotations

import pathlib

from corridex_support import fingerprint

ROOT = pathlib.Path(__file__).resolve().parents[2]
RECORDED = ROOT / "scripts" / "platforms" / "fingerprint.txt"


def recorded_digests():
    lines = RECORDED.read_text().splitlines()
    return dict(line.split() for line in lines if line.strip())


def test_results_match_the_recorded_fingerprint(request):
    digests = {kind: fingerprint.digest(kind) for kind in fingerprint.PLAN}
    if request.config.getoption("--update-fingerprint"):
        RECORDED.write_text("".join(f"{kind:8s} {value}\n" for kind, value in digests.items()))
    differing = {kind: value for kind, value in digests.items()
                 if recorded_digests().get(kind) != value}
    assert not differing, f"results differ from {RECORDED.name} for {sorted(differing)}: {differing}"
    assert sorted(recorded_digests()) == sorted(digests), "maze kinds differ from the record"
