#pragma once

#include "maze/cancellation.hpp"
#include "maze/maze_graph.hpp"
#include "maze/solver_results.hpp"
#include "solvers/node_heap.hpp"

#include <cstdint>

namespace corridex {

// The search that DijkstraAlgorithm and AStar share: expand the top of a NodeHeap, recording each
// expanded cell, until the target is on top or the heap runs empty. Each edge of an expanded node
// offers its neighbour a route of the node's startDistance plus the corridor, taken when strictly
// shorter (whether or not the neighbour was expanded); a node enters the heap once. `Rule` says
// how a record holds its distance:
//   std::uint64_t key(const Node&) const            the heap's key, read at every comparison
//   std::uint64_t startDistance(const Node&) const
//   bool lower(Node&, std::uint64_t distance) const stores `distance` if strictly shorter
// The start node must already be marked visited, with its distance set.
template <class Node, class Rule>
void bestFirstSearch(MazeGraph<Node>& graph, LargeVector<Index>& traversed, const Rule& rule,
                     CancellationPoll& poll) {
    traversed.reserve(traversed.size() + graph.nodes.size());
    const Node* nodes = graph.nodes.data();
    auto key = [nodes, rule](NodeId id) { return rule.key(nodes[id]); };
    NodeHeap<decltype(key)> heap(key);
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
        const std::uint64_t startDistance = rule.startDistance(node);
        // The corridor back to the parent is skipped: it cannot improve the parent, whose distance
        // plus the corridor gave this node its own, and distances only fall. Without it, the
        // tests below come out the same way again and again on a maze without loops.
        forEachCorridor(graph.nodes, id, node.parent, [&](const Edge& edge) {
            Node& neighbour = graph[edge.neighbour];
            if (!rule.lower(neighbour, startDistance + edge.length)) {
                return;
            }
            neighbour.parent = id;
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
template <class Node, class Rule>
void reconstructFromEnd(SolverResults& results, const MazeGraph<Node>& graph, const Rule& rule,
                        CancellationPoll& poll) {
    const Node& end = graph[graph.endNode];
    if (reachedEnd(results, end.position)) {
        tracePath(results, graph.nodes, graph.endNode, poll);
        results.distance = rule.startDistance(end);
    }
}

} // namespace corridex
