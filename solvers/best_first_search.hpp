#pragma once

#include "maze/cancellation.hpp"
#include "maze/maze_graph.hpp"
#include "maze/solver_results.hpp"
#include "solvers/node_heap.hpp"

#include <vector>

namespace corridex {

// The search that DijkstraAlgorithm and AStar share: expand the top of a NodeHeap keyed by `key`,
// recording each expanded cell, until the target is on top or the heap runs empty. Each edge of
// an expanded node lowers its neighbour's startDistance when strictly shorter (whether or not the
// neighbour was expanded) and then calls `improved(neighbour)`; a node enters the heap once. The
// start node must already be marked visited, with its distance fields set.
template <class Node, class Key, class Improved>
void bestFirstSearch(MazeGraph<Node>& graph, LargeVector<Index>& traversed, Key key,
                     Improved improved, CancellationPoll& poll) {
    traversed.reserve(traversed.size() + graph.nodes.size());
    NodeHeap<Key> heap(key);
    heap.push(graph.startNode);
    while (!heap.empty()) {
        poll.tick();
        const NodeId id = heap.top();
        const Node& node = graph[id];
        traversed.push_back(node.position);
        if (id == graph.endNode) {
            return;
        }
        heap.pop();
        // The corridor back to the parent is skipped: it cannot improve the parent, whose distance
        // plus the corridor gave this node its own, and distances only fall. Without it, the
        // tests below come out the same way again and again on a maze without loops.
        forEachCorridor(graph.nodes, id, node.parent, [&](const Edge& edge) {
            Node& neighbour = graph[edge.neighbour];
            const std::uint64_t distance = node.startDistance + edge.length;
            if (distance >= neighbour.startDistance) {
                return;
            }
            neighbour.startDistance = distance;
            neighbour.parent = id;
            improved(neighbour);
            if (neighbour.visited) {
                return;
            }
            neighbour.visited = true;
            heap.push(edge.neighbour);
            prefetchNeighbours(graph, edge.neighbour); // read when it is expanded
        });
    }
}

// After a best-first search: when the end cell was the last one expanded, the route from the
// end back to the start and the end node's startDistance as its length.
template <class Node>
void reconstructFromEnd(SolverResults& results, const MazeGraph<Node>& graph,
                        CancellationPoll& poll) {
    const Node& end = graph[graph.endNode];
    if (reachedEnd(results, end.position)) {
        tracePath(results, graph.nodes, graph.endNode, poll);
        results.distance = end.startDistance;
    }
}

} // namespace corridex
