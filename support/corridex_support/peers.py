"""Peer libraries that search the grids Corridex searches, each called as its own users would.

Every peer takes a C-contiguous 2-D NumPy bool array (True: open), a start and an end cell as
(row, col) tuples, prepares its own input inside the call (cost arrays, graphs), moves in four
directions at unit cost, and returns the number of steps of the route it found (None: no route).
Each names the Corridex solver it competes with; the benchmarks compare that solver with the
fastest of its peers.
"""

from __future__ import annotations

import dataclasses
from typing import Callable, Optional

import numpy as np


@dataclasses.dataclass(frozen=True)
class Peer:
    name: str
    solver: str  # the Corridex solver of the same family
    run: Callable[[np.ndarray, tuple, tuple], Optional[int]]
    # Pure-Python, O(V E) and O(V^3) searches run only on grids of at most this many cells.
    max_cells: Optional[int] = None
    # False where the search need not find a shortest route (depth-first).
    shortest: bool = True
    note: str = ""

    def fits(self, grid) -> bool:
        return self.max_cells is None or grid.size <= self.max_cells


PEERS: list[Peer] = []
SMALL = 200 * 200  # pure Python
TINY = 100 * 100  # O(V E)
DENSE = 40 * 40  # O(V^3) all-pairs tables


def peer(name, solver, **options):
    def register(run):
        PEERS.append(Peer(name, solver, run, **options))
        return run

    return register


def peers_of(solver: str) -> list[Peer]:
    return [p for p in PEERS if p.solver == solver]


# --- graphs built the way each library's users build them --------------------------------------


def cell_edges(grid):
    """(ids, n, u, v): the open cells numbered row by row (-1 on walls), their count, and each
    pair of touching open cells once (right and down neighbours)."""
    ids = np.full(grid.shape, -1, dtype=np.int64)
    n = int(np.count_nonzero(grid))
    ids[grid] = np.arange(n, dtype=np.int64)
    across, down = grid[:, :-1] & grid[:, 1:], grid[:-1, :] & grid[1:, :]
    u = np.concatenate((ids[:, :-1][across], ids[:-1, :][down]))
    v = np.concatenate((ids[:, 1:][across], ids[1:, :][down]))
    return ids, n, u, v


def scipy_graph(grid):
    import scipy.sparse

    ids, n, u, v = cell_edges(grid)
    rows, cols = np.concatenate((u, v)), np.concatenate((v, u))
    return ids, scipy.sparse.csr_matrix((np.ones(rows.size), (rows, cols)), shape=(n, n))


def rustworkx_graph(grid):
    import rustworkx

    ids, n, u, v = cell_edges(grid)
    graph = rustworkx.PyGraph(multigraph=False)
    graph.add_nodes_from(range(n))
    graph.extend_from_edge_list(list(zip(u.tolist(), v.tolist())))
    return ids, graph


def networkx_graph(grid):
    import networkx

    ids, n, u, v = cell_edges(grid)
    graph = networkx.Graph()
    graph.add_nodes_from(range(n))
    graph.add_edges_from(zip(u.tolist(), v.tolist()))
    return ids, graph


def steps_back(pred, source, target):
    """Steps from target back to source through a predecessor array or dict; None if cut off."""
    steps, node = 0, target
    while node != source:
        node = pred.get(node) if isinstance(pred, dict) else int(pred[node])
        if node is None or node < 0 or steps > len(pred):
            return None
        steps += 1
    return steps


def manhattan(grid, end):
    rows, cols = (axis.tolist() for axis in np.nonzero(grid))  # in node-number order
    return lambda node: abs(rows[node] - end[0]) + abs(cols[node] - end[1])


def route_steps(path):
    return len(path) - 1 if len(path) else None


# --- depth-first ------------------------------------------------------------------------------


@peer("scipy depth_first_order", "DepthFirstSearch", shortest=False, note="whole graph")
def scipy_dfs(grid, start, end):
    from scipy.sparse import csgraph

    ids, graph = scipy_graph(grid)
    _, pred = csgraph.depth_first_order(graph, ids[start], directed=True)
    return steps_back(pred, ids[start], ids[end])


@peer("rustworkx dfs_edges", "DepthFirstSearch", shortest=False)
def rustworkx_dfs(grid, start, end):
    import rustworkx

    ids, graph = rustworkx_graph(grid)
    pred = {child: parent for parent, child in rustworkx.dfs_edges(graph, int(ids[start]))}
    return steps_back(pred, ids[start], ids[end])


@peer("networkx dfs_predecessors", "DepthFirstSearch", max_cells=SMALL, shortest=False)
def networkx_dfs(grid, start, end):
    import networkx

    ids, graph = networkx_graph(grid)
    return steps_back(networkx.dfs_predecessors(graph, int(ids[start])), ids[start], ids[end])


# --- breadth-first ----------------------------------------------------------------------------


@peer("scipy breadth_first_order", "BreadthFirstSearch", note="whole graph")
def scipy_bfs(grid, start, end):
    from scipy.sparse import csgraph

    ids, graph = scipy_graph(grid)
    _, pred = csgraph.breadth_first_order(graph, ids[start], directed=True)
    return steps_back(pred, ids[start], ids[end])


@peer("rustworkx bfs_layers", "BreadthFirstSearch", note="length only")
def rustworkx_bfs(grid, start, end):
    import rustworkx

    ids, graph = rustworkx_graph(grid)
    for depth, layer in enumerate(rustworkx.bfs_layers(graph, [int(ids[start])])):
        if ids[end] in layer:
            return depth
    return None


@peer("networkx shortest_path (BFS)", "BreadthFirstSearch", max_cells=SMALL)
def networkx_bfs(grid, start, end):
    import networkx

    ids, graph = networkx_graph(grid)
    try:
        return len(networkx.shortest_path(graph, int(ids[start]), int(ids[end]))) - 1
    except networkx.NetworkXNoPath:
        return None


# --- Dijkstra ---------------------------------------------------------------------------------


@peer("tcod Pathfinder (no heuristic)", "DijkstraAlgorithm")
def tcod_dijkstra(grid, start, end):
    import tcod.path

    graph = tcod.path.SimpleGraph(cost=grid.astype(np.int8), cardinal=1, diagonal=0)
    graph.set_heuristic(cardinal=0, diagonal=0)  # a SimpleGraph is an A* unless told otherwise
    finder = tcod.path.Pathfinder(graph)
    finder.add_root(start)
    return route_steps(finder.path_to(end))


@peer("tcod dijkstra2d + hillclimb2d", "DijkstraAlgorithm", note="whole-grid distance map")
def tcod_dijkstra2d(grid, start, end):
    import tcod.path

    distance = tcod.path.maxarray(grid.shape, dtype=np.int32)
    distance[start] = 0
    tcod.path.dijkstra2d(distance, grid.astype(np.int8), cardinal=1, diagonal=None, out=distance)
    if distance[end] == np.iinfo(np.int32).max:
        return None
    return route_steps(tcod.path.hillclimb2d(distance, end, cardinal=True, diagonal=False))


@peer("scipy dijkstra", "DijkstraAlgorithm")
def scipy_dijkstra(grid, start, end):
    from scipy.sparse import csgraph

    ids, graph = scipy_graph(grid)
    _, pred = csgraph.dijkstra(graph, directed=True, indices=ids[start], return_predecessors=True)
    return steps_back(pred, ids[start], ids[end])


@peer("rustworkx dijkstra_shortest_path_lengths", "DijkstraAlgorithm", note="length only")
def rustworkx_dijkstra(grid, start, end):
    import rustworkx

    ids, graph = rustworkx_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    lengths = rustworkx.dijkstra_shortest_path_lengths(graph, s, lambda _: 1.0, goal=t)
    return int(lengths[t]) if t in lengths else (0 if s == t else None)


@peer("networkx dijkstra_path", "DijkstraAlgorithm", max_cells=SMALL)
def networkx_dijkstra(grid, start, end):
    import networkx

    ids, graph = networkx_graph(grid)
    try:
        return len(networkx.dijkstra_path(graph, int(ids[start]), int(ids[end]))) - 1
    except networkx.NetworkXNoPath:
        return None


# --- A* ---------------------------------------------------------------------------------------


@peer("pyastar2d", "AStar")
def pyastar2d_astar(grid, start, end):
    import pyastar2d

    weights = np.where(grid, np.float32(1), np.float32(np.inf))
    path = pyastar2d.astar_path(weights, start, end, allow_diagonal=False)
    return None if path is None else route_steps(path)


@peer("tcod Pathfinder (A*)", "AStar")
def tcod_astar(grid, start, end):
    import tcod.path

    finder = tcod.path.Pathfinder(
        tcod.path.SimpleGraph(cost=grid.astype(np.int8), cardinal=1, diagonal=0))
    finder.add_root(start)
    return route_steps(finder.path_to(end))


@peer("rustworkx astar_shortest_path", "AStar", note="Python callbacks")
def rustworkx_astar(grid, start, end):
    import rustworkx

    ids, graph = rustworkx_graph(grid)
    t = int(ids[end])
    try:
        path = rustworkx.astar_shortest_path(
            graph, int(ids[start]), lambda node: node == t, lambda _: 1.0, manhattan(grid, end))
    except rustworkx.NoPathFound:
        return None
    return len(path) - 1


@peer("networkx astar_path", "AStar", max_cells=SMALL)
def networkx_astar(grid, start, end):
    import networkx

    ids, graph = networkx_graph(grid)
    estimate = manhattan(grid, end)
    try:
        path = networkx.astar_path(graph, int(ids[start]), int(ids[end]),
                                   heuristic=lambda node, _: estimate(node))
    except networkx.NetworkXNoPath:
        return None
    return len(path) - 1


# --- Bellman-Ford -----------------------------------------------------------------------------


@peer("rustworkx bellman_ford_shortest_path_lengths", "BellmanFord", note="length only")
def rustworkx_bellman_ford(grid, start, end):
    import rustworkx

    ids, graph = rustworkx_graph(grid)
    s, t = int(ids[start]), int(ids[end])
    lengths = rustworkx.bellman_ford_shortest_path_lengths(graph, s, lambda _: 1.0, goal=t)
    return int(lengths[t]) if t in lengths else (0 if s == t else None)


@peer("scipy bellman_ford", "BellmanFord", max_cells=TINY)
def scipy_bellman_ford(grid, start, end):
    from scipy.sparse import csgraph

    ids, graph = scipy_graph(grid)
    _, pred = csgraph.bellman_ford(graph, directed=True, indices=ids[start],
                                   return_predecessors=True)
    return steps_back(pred, ids[start], ids[end])


@peer("networkx bellman_ford_path", "BellmanFord", max_cells=SMALL)
def networkx_bellman_ford(grid, start, end):
    import networkx

    ids, graph = networkx_graph(grid)
    try:
        return len(networkx.bellman_ford_path(graph, int(ids[start]), int(ids[end]))) - 1
    except networkx.NetworkXNoPath:
        return None


# --- all pairs --------------------------------------------------------------------------------


@peer("scipy shortest_path (BFS from every node)", "FloydWarshall")
def scipy_all_pairs(grid, start, end):
    from scipy.sparse import csgraph

    ids, graph = scipy_graph(grid)
    _, pred = csgraph.shortest_path(graph, method="D", directed=True, unweighted=True,
                                    return_predecessors=True)
    return steps_back(pred[ids[start]], ids[start], ids[end])


@peer("scipy floyd_warshall", "FloydWarshall", max_cells=DENSE)
def scipy_floyd_warshall(grid, start, end):
    from scipy.sparse import csgraph

    ids, graph = scipy_graph(grid)
    _, pred = csgraph.floyd_warshall(graph, directed=True, return_predecessors=True)
    return steps_back(pred[ids[start]], ids[start], ids[end])


@peer("rustworkx distance_matrix", "FloydWarshall", note="distances only")
def rustworkx_all_pairs(grid, start, end):
    import rustworkx

    ids, graph = rustworkx_graph(grid)
    distance = rustworkx.distance_matrix(graph, null_value=-1.0)[ids[start], ids[end]]
    return None if distance < 0 and start != end else int(distance)
