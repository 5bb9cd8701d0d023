"""The markers that say where a test runs: each registered one is decided by environment.py,
and a marked test is skipped, with its reason, where the run lacks what it needs."""

from __future__ import annotations

import os
import pathlib
import subprocess
import sys

import pytest

import environment

HERE = pathlib.Path(__file__).resolve().parent


def test_every_registered_marker_is_decided(pytestconfig):
    registered = {line.split(":")[0] for line in pytestconfig.getini("markers")}
    ours = {"internals", "posix", "linux", "native", "slow", "same_cxx_runtime"}
    assert ours <= registered
    for marker in ours:
        assert marker in environment._REASONS, f"environment.py does not decide {marker!r}"


# The tests it runs need Linux anyway, which would be the reason given elsewhere; a second
# pytest under an emulator takes minutes and shows nothing the native run does not.
@pytest.mark.linux
@pytest.mark.native
@pytest.mark.parametrize(("variable", "test"), [
    ("CORRIDEX_EMULATED", "test_memory.py::test_each_kept_index_costs_only_its_own_memory"),
    ("CORRIDEX_PUBLIC_API_ONLY", "test_memory.py::test_memory_goes_back_once_every_object_is_gone"),
], ids=["emulated", "public-api"])
def test_a_marked_test_is_skipped_with_its_reason(variable, test):
    child = subprocess.run(
        [sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "-p", "no:xdist", "-rs",
         str(HERE / test)],
        cwd=HERE, env={**os.environ, variable: "1"}, capture_output=True, text=True, timeout=300)
    assert child.returncode == 0, child.stdout + child.stderr
    assert "1 skipped" in child.stdout, child.stdout
    assert "SKIPPED" in child.stdout and ("emulator" in child.stdout or "public API" in child.stdout)
