"""Fixtures and options for the Corridex tests; the helpers they share with the benchmarks and
scripts live in the support package (support/corridex_support). Which marked tests run here is
decided by environment.py."""

from __future__ import annotations

import pytest

import environment
from corridex_support.promises import END_FIRST, SOLVER_NAMES, SOLVERS


def pytest_addoption(parser):
    group = parser.getgroup("corridex")
    group.addoption("--update-fingerprint", action="store_true",
                    help="write this build's result digests to scripts/platforms/fingerprint.txt "
                    "instead of comparing with them")


def pytest_collection_modifyitems(config, items):
    for item in items:
        for marker in item.iter_markers():
            reason = environment.missing(marker.name)
            if reason is not None:
                item.add_marker(pytest.mark.skip(reason=f"{marker.name}: {reason}"))


@pytest.fixture(params=SOLVERS, ids=SOLVER_NAMES)
def solver_class(request):
    return request.param


@pytest.fixture(params=END_FIRST, ids=[cls.__name__ for cls in END_FIRST])
def end_first_class(request):
    return request.param

