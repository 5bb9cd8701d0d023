"""Fixtures for the Corridex tests; the helpers themselves live in maze_support, which the
scripts share. Its names are re-exported here for the tests that import them from conftest."""

from __future__ import annotations

import os

import pytest

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


@pytest.fixture(params=SOLVERS, ids=SOLVER_NAMES)
def solver_class(request):
    return request.param


@pytest.fixture(params=END_FIRST, ids=[cls.__name__ for cls in END_FIRST])
def end_first_class(request):
    return request.param


def pytest_collection_modifyitems(config, items):
    if os.environ.get("CORRIDEX_PUBLIC_API_ONLY") == "1":
        skip = pytest.mark.skip(reason="the module is built through pybind11's public API only")
        for item in items:
            if "internals" in item.keywords:
                item.add_marker(skip)
