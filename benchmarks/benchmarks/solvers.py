"""Every Corridex solver and the peers of its family, end to end, on the same grids.

A time is what a user pays for one route: for Corridex, construction (reading the grid and
building the graph) + solve() + SrcToDestPath(), from a NumPy array or from lists; for a peer,
its own input preparation and search, from a NumPy array (a peer's user holding lists first
pays NumPy.array, timed by ListToArray). Grids are square, CORRIDEX_BENCH_SIDE cells a side
(default 1000), solved corner to corner.
"""

import os
import time

import numpy as np

import Corridex
from corridex_support import grids
from corridex_support.peers import PEERS, peers_of
from corridex_support.promises import PROMISES

SIDE = int(os.environ.get("CORRIDEX_BENCH_SIDE", "1000"))
SEED = 1
# Grid kinds: a perfect maze, the same with 2% of the walls between cells opened, and grids open
# at random with the given share of open cells.
GRIDS = ["maze", "maze+loops", "60% open", "85% open", "100% open"]
# The solvers that take any grid; the others (FloydWarshall) are timed on small mazes.
SOLVERS = [name for name, promises in PROMISES.items() if not promises.max_nodes]
LIMITED = [name for name, promises in PROMISES.items() if promises.max_nodes]
ALL_PAIRS_SIDE = min(SIDE, 60)  # FloydWarshall's time grows with the cube of the nodes
_made = {}


# Grids made once and kept: RandomMazeGenerator seeds its start cell with the clock, so every
# process would draw another maze. Delete the folder to draw new ones.
KEPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, ".asv", "grids")


def grid_of(kind, side=None):
    """(array, start, end) of a grid kind, the same in every process."""
    side = side or SIDE
    if (kind, side) not in _made:
        recipe = "perfect" if kind == "maze" else "loops" if kind == "maze+loops" else "open"
        path = os.path.join(KEPT, f"{side}-{recipe}-{kind.split('%')[0]}.npy")
        if os.path.exists(path):
            grid = np.load(path)
        else:
            if recipe == "perfect":
                grid = grids.perfect_maze(side, SEED)
            elif recipe == "loops":
                grid = grids.maze_with_loops(side, SEED)
            else:
                grid = grids.open_grid(side, SEED, int(kind.split("%")[0]) / 100)
            os.makedirs(KEPT, exist_ok=True)
            np.save(path + ".new.npy", grid)
            os.replace(path + ".new.npy", path)
        _made[kind, side] = (grid, *grids.recipe_ends(grid, recipe))
    return _made[kind, side]


def corridex_route(solver, grid, start, end):
    found = getattr(Corridex, solver)(grid, Corridex.Index(*start), Corridex.Index(*end))
    found.solve()
    return found, found.SrcToDestPath()


class Benchmark:
    """Three rounds (ratios.py interleaves them), each in a fresh process: a short warm-up, then
    two to four timed calls."""

    rounds = 3
    warmup_time = 0.1
    repeat = (2, 4, 1.0)
    timeout = 300
    # CPU time (user and system) of the process: on a machine shared with other work, wall time
    # swings with the load, while the kernel's work for the process (page faults) still counts.
    timer = time.process_time


class Solvers(Benchmark):
    params = [SOLVERS, GRIDS, ["numpy", "list"]]
    param_names = ["solver", "grid", "source"]

    def setup(self, solver, kind, source):
        grid, self.start, self.end = grid_of(kind)
        self.grid = grid if source == "numpy" else _listed(kind)

    def time_route(self, solver, kind, source):
        corridex_route(solver, self.grid, self.start, self.end)

    def track_steps(self, solver, kind, source):
        return corridex_route(solver, self.grid, self.start, self.end)[0].SrcToDestDistance()

    track_steps.rounds = 1
    track_steps.unit = "steps"


class Expansions:
    """The nodes AStar expands from corner to corner."""

    params = [GRIDS]
    param_names = ["grid"]
    rounds = 1
    unit = "expansions"

    def track_astar(self, kind):
        grid, start, end = grid_of(kind)
        return corridex_route("AStar", grid, start, end)[0].TraversedNodesNo()


def _listed(kind):
    if (kind, "list") not in _made:
        _made[kind, "list"] = grid_of(kind)[0].tolist()
    return _made[kind, "list"]



class Peers(Benchmark):
    params = [[p.name for p in PEERS if p.solver in SOLVERS], GRIDS]
    param_names = ["peer", "grid"]

    def setup(self, name, kind):
        self.peer = next(p for p in PEERS if p.name == name)
        self.grid, self.start, self.end = grid_of(kind)
        if not self.peer.fits(self.grid):
            raise NotImplementedError(f"{name} runs on grids of {self.peer.max_cells} cells at most")

    def time_route(self, name, kind):
        self.peer.run(self.grid, self.start, self.end)

    def track_steps(self, name, kind):
        return self.peer.run(self.grid, self.start, self.end)

    track_steps.rounds = 1
    track_steps.unit = "steps"


class ListToArray(Benchmark):
    """What a peer's user holding the grid as lists pays before the peer: numpy.array."""

    params = [GRIDS]
    param_names = ["grid"]

    def setup(self, kind):
        self.rows = _listed(kind)

    def time_numpy_array(self, kind):
        np.array(self.rows, dtype=bool)


class AllPairs(Benchmark):
    """FloydWarshall and the all-pairs peers on mazes of ALL_PAIRS_SIDE cells a side."""

    params = [LIMITED + [p.name for name in LIMITED for p in peers_of(name)], ["maze", "maze+loops"]]
    param_names = ["contender", "grid"]
    warmup_time = 0
    repeat = (1, 3, 1.0)

    def setup(self, contender, kind):
        self.grid, self.start, self.end = grid_of(kind, ALL_PAIRS_SIDE)
        self.peer = next((p for p in PEERS if p.name == contender), None)
        if self.peer and not self.peer.fits(self.grid):
            raise NotImplementedError(f"{contender} runs on grids of {self.peer.max_cells} cells at most")

    def time_route(self, contender, kind):
        if self.peer:
            self.peer.run(self.grid, self.start, self.end)
        else:
            corridex_route(contender, self.grid, self.start, self.end)


class Rest(Benchmark):
    """AStar from NumPy on the fully open grid, right after another solve of the same grid, or
    after the process has rested 1.2 s: Corridex keeps a released large block for the next
    request until it has rested half a second, then gives it back to the system."""

    params = [["back to back", "after 1.2 s of rest"]]
    param_names = ["before"]
    warmup_time = 0
    number = 1
    repeat = (5, 5, 60.0)

    def setup(self, before):
        self.grid, self.start, self.end = grid_of("100% open")
        corridex_route("AStar", self.grid, self.start, self.end)
        if before != "back to back":
            time.sleep(1.2)

    def time_astar(self, before):
        corridex_route("AStar", self.grid, self.start, self.end)


class Memory:
    """Peak resident size of a process that makes a grid and solves it once from NumPy."""

    params = [SOLVERS, ["maze", "85% open"]]
    param_names = ["solver", "grid"]

    def setup(self, solver, kind):
        self.grid, self.start, self.end = grid_of(kind)

    def peakmem_route(self, solver, kind):
        corridex_route(solver, self.grid, self.start, self.end)
