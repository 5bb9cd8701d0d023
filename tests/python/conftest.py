"""Fixtures for the Corridex tests; the helpers themselves live in maze_support, which the
scripts share. Its names are re-exported here for the tests that import them from conftest."""

from __future__ import annotations

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
