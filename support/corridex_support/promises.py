"""The solver classes, in the order the module registers them, and what each promises about its
results: read from the solver table, solvers/solver_table.def, the file the C++ side includes
(its comment describes each column). A wheel of this package carries a copy of the table; an
editable install reads it in the source tree."""

from __future__ import annotations

import pathlib
import re
from importlib import resources
from typing import NamedTuple

import Corridex

TABLE = "solver_table.def"


class Promises(NamedTuple):
    """One row of the table, its values in Python's spelling ("EndFirst" is "end-first").

    graph: "cell" or "corridor", the graph searched (and so the cells of a ragged grid read).
    route: "end-first" or "start-first", the end SrcToDestPath starts from.
    distance: "fewest" (always the fewest steps), "route-length" (the route's own length) or
        "at-least-route" (never below the route's length), when the end is reached.
    unreached: "empty" or "end-alone", the route left when the end cannot be reached.
    recorded: "start-first" (each cell once, the start first), "never-start" (cells whose
        distance improved, repeats possible, never the start) or "every-node" (each node of the
        graph once, in row-major order).
    count: "recorded" or "cube", TraversedNodesNo as the number of recorded cells or its cube
        modulo 2**64.
    second_solve: "same" or "appends", what a second solve() does to the results.
    max_nodes: the checks skip graphs larger than this (0: no limit).
    """

    graph: str
    route: str
    distance: str
    unreached: str
    recorded: str
    count: str
    second_solve: str
    max_nodes: int


def table_text() -> str:
    packaged = resources.files(__package__).joinpath(TABLE)
    if packaged.is_file():
        return packaged.read_text()
    return (pathlib.Path(__file__).resolve().parents[2] / "solvers" / TABLE).read_text()


def spelled(value: str) -> str:
    return re.sub(r"(?<=[a-z])(?=[A-Z])", "-", value).lower()


def read_table(text: str) -> dict[str, Promises]:
    """{class name: Promises} from the rows of the table's text, in their order."""
    rows = {}
    for line in text.splitlines():
        row = re.fullmatch(r"CORRIDEX_SOLVER\((.*)\)\s*", line)
        if row:
            name, _header, *values, max_nodes = (field.strip() for field in row.group(1).split(","))
            rows[name] = Promises(*map(spelled, values), int(max_nodes))
    return rows


# One row per solver class, in the order the module registers them.
PROMISES = read_table(table_text())

SOLVER_NAMES = list(PROMISES)
SOLVERS = [getattr(Corridex, name) for name in SOLVER_NAMES]
# The classes that rebuild their route from the end node, end cell first.
END_FIRST = [cls for cls in SOLVERS if PROMISES[cls.__name__].route == "end-first"]
# The classes whose route is always a shortest one.
SHORTEST = tuple(cls for cls in SOLVERS if PROMISES[cls.__name__].distance == "fewest")
# The classes that take any size of maze.
UNLIMITED = [cls for cls in SOLVERS if not PROMISES[cls.__name__].max_nodes]
