"""Fixtures and options for the Corridex tests; the helpers themselves live in maze_support,
which the scripts share. Its names are re-exported here for the tests that import them from
conftest. Which marked tests run here is decided by environment.py."""

from __future__ import annotations

import pytest

import environment
from maze_support import (  # noqa: F401
    END_FIRST,
    SOLVER_NAMES,
    SOLVERS,
    cells,
    grid_from_text,
    open_neighbours,
    random_open_grid,
    random_perfect_maze,
    solved,
    steps_between,
)


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

