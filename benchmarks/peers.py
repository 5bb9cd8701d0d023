"""Peer libraries that search the same grids as Corridex, for comparison.

Every peer takes the grid as a C-contiguous 2-D NumPy bool array (True is an open cell), a start
and an end cell as (row, col) tuples, and does its own input preparation inside the call, so
that its timed work is what a user of that library would write. Moves are 4-connected with unit
cost. A peer returns the length in steps of the route it found (None when it found none).
"""

from __future__ import annotations

import dataclasses
from typing import Callable, Optional

import numpy as np

# Algorithm families: Corridex's solvers are compared against the fastest peer of their family.
DEPTH_FIRST = "depth-first"
BREADTH_FIRST = "breadth-first"
DIJKSTRA = "dijkstra"
ASTAR = "astar"
BELLMAN_FORD = "bellman-ford"
ALL_PAIRS = "all-pairs"

# Where a peer may run: "all" (every maze size); "small" (the smallest size only: pure Python,
# O(V E), or memory that grows with the square of the route); "all-pairs" (every all-pairs grid);
# "all-pairs-tiny" (the smallest all-pairs grid only: a dense O(n^3) Floyd-Warshall).
ALL, SMALL, ALL_PAIRS_GRID, ALL_PAIRS_TINY = "all", "small", "all-pairs", "all-pairs-tiny"


@dataclasses.dataclass(frozen=True)
class Peer:
    name: str
    library: str  # the module that must import for the peer to run
    family: str
    run: Callable[[np.ndarray, tuple, tuple], Optional[int]]
    where: str = ALL
    # False for searches that need not find a shortest route (depth-first); such results are
    # compared only on loop-free mazes, where the one route is the only answer.
    shortest: bool = True
    note: str = ""


PEERS: list[Peer] = []


def peer(name, library, family, *, where=ALL, shortest=True, note=""):
    def register(run):
        PEERS.append(Peer(name, library, family, run, where, shortest, note))
        return run

    return register


# --- shared input preparation --------------------------------------------------------------


def cell_graph(grid):
    """Numbers the open cells row by row and lists each pair of touching open cells once.

    Returns (ids, n, u, v): ids maps a cell to its node number (-1 for a wall), n is the number
    of nodes, and u[k]-v[k] are the edges (right and down neighbours)."""
    ids = np.full(grid.shape, -1, dtype=np.int64)
    n = int(np.count_nonzero(grid))
    ids[grid] = np.arange(n, dtype=np.int64)
    across = grid[:, :-1] & grid[:, 1:]
    down = grid[:-1, :] & grid[1:, :]
    u = np.concatenate((ids[:, :-1][across], ids[:-1, :][down]))
    v = np.concatenate((ids[:, 1:][across], ids[1:, :][down]))
    return ids, n, u, v


def csr_graph(grid):
    import scipy.sparse

    ids, n, u, v = cell_graph(grid)
    rows = np.concatenate((u, v))
    cols = np.concatenate((v, u))
    data = np.ones(rows.shape[0], dtype=np.float64)
    return ids, scipy.sparse.csr_matrix((data, (rows, cols)), shape=(n, n))


def walk_predecessors(pred, source, target, none=-9999):
    """Steps from target back to source along a predecessor array; None when there is no route."""
    if source == target:
        return 0
    steps = 0
    node = target
    while node != source:
        node = int(pred[node])
        if node == none or node < 0:
            return None
        steps += 1
    return steps


def walk_mapping(pred, source, target):
    """As walk_predecessors, for a dict of node -> predecessor."""
    steps = 0
    node = target
    while node != source:
        node = pred.get(node)
        if node is None or steps > len(pred):
            return None
        steps += 1
    return steps


def manhattan_to(ids, grid, end):
    """A node-number -> Manhattan distance to `end` function, for A* heuristics."""
    rows, cols = np.nonzero(grid)  # row-major, the same order as the node numbers
    rows = rows.tolist()
    cols = cols.tolist()
    er, ec = end
    return lambda node: abs(rows[node] - er) + abs(cols[node] - ec)


# --- tcod ----------------------------------------------------------------------------------


@peer("tcod Pathfinder (Dijkstra)", "tcod", DIJKSTRA)
def tcod_pathfinder_dijkstra(grid, start, end):
    import tcod.path

    graph = tcod.path.SimpleGraph(cost=grid.astype(np.int8), cardinal=1, diagonal=0)
    finder = tcod.path.Pathfinder(graph)
    finder.add_root(start)
    path = finder.path_to(end)
    return len(path) - 1 if len(path) else None


@peer("tcod dijkstra2d+hillclimb2d", "tcod", DIJKSTRA, note="whole-grid distance map")
def tcod_dijkstra2d(grid, start, end):
    import tcod.path

    distance = tcod.path.maxarray(grid.shape, dtype=np.int32)
    distance[start] = 0
    tcod.path.dijkstra2d(distance, grid.astype(np.int8), cardinal=1, diagonal=None, out=distance)
    if distance[end] == np.iinfo(np.int32).max:
        return None
    path = tcod.path.hillclimb2d(distance, end, cardinal=True, diagonal=False)
    return len(path) - 1


@peer("tcod.path.Dijkstra (legacy)", "tcod", DIJKSTRA)
def tcod_legacy_dijkstra(grid, start, end):
    import tcod.path

    finder = tcod.path.Dijkstra(grid.astype(np.int8), diagonal=0)
    finder.set_goal(*start)
    path = finder.get_path(*end)  # excludes the root
    return len(path) if path or start == end else None


@peer("tcod Pathfinder (A*)", "tcod", ASTAR)
def tcod_pathfinder_astar(grid, start, end):
    import tcod.path

    graph = tcod.path.SimpleGraph(cost=grid.astype(np.int8), cardinal=1, diagonal=0, greed=1)
    graph.set_heuristic(cardinal=1, diagonal=0)
    finder = tcod.path.Pathfinder(graph)
    finder.add_root(start)
    path = finder.path_to(end)
    return len(path) - 1 if len(path) else None


@peer("tcod path2d (A*)", "tcod", ASTAR)
def tcod_path2d(grid, start, end):
    import tcod.path

    path = tcod.path.path2d(
        grid.astype(np.int8), start_points=[start], end_points=[end], cardinal=1, diagonal=None
    )
    return len(path) - 1 if len(path) else None


@peer("tcod.path.AStar (legacy)", "tcod", ASTAR)
def tcod_legacy_astar(grid, start, end):
    import tcod.path

    finder = tcod.path.AStar(grid.astype(np.int8), diagonal=0)
    path = finder.get_path(start[0], start[1], end[0], end[1])  # excludes the start
    return len(path) if path or start == end else None


# --- pyastar2d -----------------------------------------------------------------------------


@peer("pyastar2d", "pyastar2d", ASTAR)
def pyastar2d_astar(grid, start, end):
    import pyastar2d

    weights = np.where(grid, np.float32(1), np.float32(np.inf)).astype(np.float32)
    path = pyastar2d.astar_path(weights, start, end, allow_diagonal=False)
    return None if path is None else len(path) - 1


# --- scipy.sparse.csgraph ------------------------------------------------------------------


@peer("scipy breadth_first_order", "scipy", BREADTH_FIRST, note="whole graph")
def scipy_bfs(grid, start, end):
    from scipy.sparse import csgraph

    ids, graph = csr_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    _, pred = csgraph.breadth_first_order(graph, s, directed=True, return_predecessors=True)
    return walk_predecessors(pred, s, t)


@peer("scipy depth_first_order", "scipy", DEPTH_FIRST, shortest=False, note="whole graph")
def scipy_dfs(grid, start, end):
    from scipy.sparse import csgraph

    ids, graph = csr_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    _, pred = csgraph.depth_first_order(graph, s, directed=True, return_predecessors=True)
    return walk_predecessors(pred, s, t)


@peer("scipy dijkstra", "scipy", DIJKSTRA, note="whole graph")
def scipy_dijkstra(grid, start, end):
    from scipy.sparse import csgraph

    ids, graph = csr_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    _, pred = csgraph.dijkstra(graph, directed=True, indices=s, return_predecessors=True)
    return walk_predecessors(pred, s, t)


@peer("scipy bellman_ford", "scipy", BELLMAN_FORD, where=SMALL, note="O(V E): small size only")
def scipy_bellman_ford(grid, start, end):
    from scipy.sparse import csgraph

    ids, graph = csr_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    _, pred = csgraph.bellman_ford(graph, directed=True, indices=s, return_predecessors=True)
    return walk_predecessors(pred, s, t)


@peer("scipy floyd_warshall", "scipy", ALL_PAIRS, where=ALL_PAIRS_TINY,
      note="dense n^3: 6 to 28 s at 100 x 100, so the smallest all-pairs grid only")
def scipy_floyd_warshall(grid, start, end):
    from scipy.sparse import csgraph

    ids, graph = csr_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    _, pred = csgraph.floyd_warshall(graph, directed=True, return_predecessors=True)
    return walk_predecessors(pred[s], s, t)


@peer("scipy shortest_path (all-pairs BFS)", "scipy", ALL_PAIRS, where=ALL_PAIRS_GRID,
      note="Dijkstra per source, unweighted")
def scipy_all_pairs(grid, start, end):
    from scipy.sparse import csgraph

    ids, graph = csr_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    _, pred = csgraph.shortest_path(
        graph, method="D", directed=True, unweighted=True, return_predecessors=True
    )
    return walk_predecessors(pred[s], s, t)


# --- rustworkx -----------------------------------------------------------------------------


def rustworkx_graph(grid):
    import rustworkx

    ids, n, u, v = cell_graph(grid)
    graph = rustworkx.PyGraph(multigraph=False)
    graph.add_nodes_from(range(n))
    graph.extend_from_edge_list(list(zip(u.tolist(), v.tolist())))
    return ids, graph


@peer("rustworkx bfs_successors", "rustworkx", BREADTH_FIRST, where=SMALL,
      note="a Python walk over every listing: small size only")
def rustworkx_bfs(grid, start, end):
    import rustworkx

    ids, graph = rustworkx_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    # bfs_successors takes only a directed graph. It lists every neighbour of each node, so a
    # child is listed again under later nodes; its first listing is its BFS parent.
    pred = {}
    for parent, children in rustworkx.bfs_successors(graph.to_directed(), s):
        for child in children:
            pred.setdefault(child, parent)
    pred.pop(s, None)
    return walk_mapping(pred, s, t)


@peer("rustworkx bfs_layers", "rustworkx", BREADTH_FIRST, note="length only")
def rustworkx_bfs_layers(grid, start, end):
    import rustworkx

    ids, graph = rustworkx_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    for depth, layer in enumerate(rustworkx.bfs_layers(graph, [s])):
        if t in layer:
            return depth
    return None


@peer("rustworkx dfs_edges", "rustworkx", DEPTH_FIRST, shortest=False)
def rustworkx_dfs(grid, start, end):
    import rustworkx

    ids, graph = rustworkx_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    pred = {child: parent for parent, child in rustworkx.dfs_edges(graph, s)}
    return walk_mapping(pred, s, t)


# rustworkx's *_shortest_paths functions keep a whole route for every node they reach, even with
# a target: the sum of route lengths, about 24 GB on the 1000 x 1000 perfect maze, where the
# kernel killed the benchmark's worker. They run at the small size only; the *_path_lengths
# functions (lengths only, stopping at the goal) run everywhere.


def _rustworkx_route(grid, start, end, paths_to_target):
    """A rustworkx search that keeps a route per reached node, with unit weights."""
    ids, graph = rustworkx_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    paths = paths_to_target(graph, s, target=t, default_weight=1.0)
    return len(paths[t]) - 1 if t in paths else (0 if s == t else None)


@peer("rustworkx dijkstra_shortest_paths", "rustworkx", DIJKSTRA, where=SMALL,
      note="a route per reached node: small size only")
def rustworkx_dijkstra(grid, start, end):
    import rustworkx

    return _rustworkx_route(grid, start, end, rustworkx.dijkstra_shortest_paths)


def _rustworkx_length(grid, start, end, lengths_to_goal):
    """A rustworkx search that reports lengths only, stopping at the goal, with unit weights."""
    ids, graph = rustworkx_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    lengths = lengths_to_goal(graph, s, lambda _edge: 1.0, goal=t)
    return int(lengths[t]) if t in lengths else (0 if s == t else None)


@peer("rustworkx dijkstra_shortest_path_lengths", "rustworkx", DIJKSTRA,
      note="length only, stops at the goal")
def rustworkx_dijkstra_length(grid, start, end):
    import rustworkx

    return _rustworkx_length(grid, start, end, rustworkx.dijkstra_shortest_path_lengths)


@peer("rustworkx astar_shortest_path", "rustworkx", ASTAR, note="Python callbacks")
def rustworkx_astar(grid, start, end):
    import rustworkx

    ids, graph = rustworkx_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    estimate = manhattan_to(ids, grid, end)
    path = rustworkx.astar_shortest_path(
        graph, s, lambda node: node == t, lambda _edge: 1.0, estimate
    )
    return len(path) - 1


@peer("rustworkx bellman_ford_shortest_paths", "rustworkx", BELLMAN_FORD, where=SMALL,
      note="a route per reached node: small size only")
def rustworkx_bellman_ford(grid, start, end):
    import rustworkx

    return _rustworkx_route(grid, start, end, rustworkx.bellman_ford_shortest_paths)


@peer("rustworkx bellman_ford_shortest_path_lengths", "rustworkx", BELLMAN_FORD,
      note="length only")
def rustworkx_bellman_ford_length(grid, start, end):
    import rustworkx

    return _rustworkx_length(grid, start, end, rustworkx.bellman_ford_shortest_path_lengths)


@peer("rustworkx distance_matrix (all-pairs BFS)", "rustworkx", ALL_PAIRS, where=ALL_PAIRS_GRID,
      note="distances only; above 300 nodes it runs on every core")
def rustworkx_distance_matrix(grid, start, end):
    import rustworkx

    ids, graph = rustworkx_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    distance = rustworkx.distance_matrix(graph, null_value=-1.0)
    return None if distance[s, t] < 0 and s != t else int(distance[s, t])


@peer("rustworkx floyd_warshall_successor_and_distance", "rustworkx", ALL_PAIRS,
      where=ALL_PAIRS_TINY)
def rustworkx_floyd_warshall(grid, start, end):
    import rustworkx

    ids, graph = rustworkx_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    _, successor = rustworkx.floyd_warshall_successor_and_distance(graph, default_weight=1.0)
    steps, node = 0, s
    while node != t:
        node = int(successor[node, t])
        if node < 0:
            return None
        steps += 1
    return steps


# --- networkx (pure Python) ----------------------------------------------------------------


def networkx_graph(grid):
    import networkx

    ids, n, u, v = cell_graph(grid)
    graph = networkx.Graph()
    graph.add_nodes_from(range(n))
    graph.add_edges_from(zip(u.tolist(), v.tolist()))
    return ids, graph


def _networkx_tree_walk(edges, s, t):
    if s == t:
        return 0
    pred = {}
    for parent, child in edges:
        pred[child] = parent
        if child == t:
            return walk_mapping(pred, s, t)
    return None


@peer("networkx bfs_edges", "networkx", BREADTH_FIRST, where=SMALL)
def networkx_bfs(grid, start, end):
    import networkx

    ids, graph = networkx_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    return _networkx_tree_walk(networkx.bfs_edges(graph, s), s, t)


@peer("networkx dfs_edges", "networkx", DEPTH_FIRST, where=SMALL, shortest=False)
def networkx_dfs(grid, start, end):
    import networkx

    ids, graph = networkx_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    return _networkx_tree_walk(networkx.dfs_edges(graph, s), s, t)


@peer("networkx dijkstra_path", "networkx", DIJKSTRA, where=SMALL)
def networkx_dijkstra(grid, start, end):
    import networkx

    ids, graph = networkx_graph(grid)
    try:
        return len(networkx.dijkstra_path(graph, int(ids[start]), int(ids[end]))) - 1
    except networkx.NetworkXNoPath:
        return None


@peer("networkx astar_path", "networkx", ASTAR, where=SMALL)
def networkx_astar(grid, start, end):
    import networkx

    ids, graph = networkx_graph(grid)
    estimate = manhattan_to(ids, grid, end)
    try:
        path = networkx.astar_path(
            graph, int(ids[start]), int(ids[end]), heuristic=lambda a, _b: estimate(a)
        )
    except networkx.NetworkXNoPath:
        return None
    return len(path) - 1


@peer("networkx bellman_ford_path", "networkx", BELLMAN_FORD, where=SMALL)
def networkx_bellman_ford(grid, start, end):
    import networkx

    ids, graph = networkx_graph(grid)
    try:
        return len(networkx.bellman_ford_path(graph, int(ids[start]), int(ids[end]))) - 1
    except networkx.NetworkXNoPath:
        return None


@peer("networkx floyd_warshall_numpy", "networkx", ALL_PAIRS, where=ALL_PAIRS_TINY,
      note="distances only")
def networkx_floyd_warshall(grid, start, end):
    import networkx

    ids, graph = networkx_graph(grid)
    distance = networkx.floyd_warshall_numpy(graph, nodelist=range(graph.number_of_nodes()))
    value = distance[int(ids[start]), int(ids[end])]
    return None if np.isinf(value) else int(value)


# --- pathfinding (pure Python) -------------------------------------------------------------


def _pathfinding(grid, start, end, finder_class):
    from pathfinding.core.diagonal_movement import DiagonalMovement
    from pathfinding.core.grid import Grid

    maze = Grid(matrix=grid.astype(np.int8).tolist())
    finder = finder_class(diagonal_movement=DiagonalMovement.never)
    path, _ = finder.find_path(maze.node(start[1], start[0]), maze.node(end[1], end[0]), maze)
    return len(path) - 1 if path else None


@peer("pathfinding BreadthFirstFinder", "pathfinding", BREADTH_FIRST, where=SMALL)
def pathfinding_bfs(grid, start, end):
    from pathfinding.finder.breadth_first import BreadthFirstFinder

    return _pathfinding(grid, start, end, BreadthFirstFinder)


@peer("pathfinding DijkstraFinder", "pathfinding", DIJKSTRA, where=SMALL)
def pathfinding_dijkstra(grid, start, end):
    from pathfinding.finder.dijkstra import DijkstraFinder

    return _pathfinding(grid, start, end, DijkstraFinder)


@peer("pathfinding AStarFinder", "pathfinding", ASTAR, where=SMALL)
def pathfinding_astar(grid, start, end):
    from pathfinding.finder.a_star import AStarFinder

    return _pathfinding(grid, start, end, AStarFinder)


# --- maze generation -----------------------------------------------------------------------


def mazelib_generate(size, seed):
    """mazelib's backtracking generator on a size x size grid (size // 2 cells a side)."""
    from mazelib import Maze
    from mazelib.generate.BacktrackingGenerator import BacktrackingGenerator

    maze = Maze(seed)
    maze.generator = BacktrackingGenerator(size // 2, size // 2)
    maze.generate()
    return maze.grid
