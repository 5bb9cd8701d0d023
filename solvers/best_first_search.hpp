#pragma once

#include "maze/cancellation.hpp"
#include "maze/graph_nodes.hpp"
#include "maze/solver_results.hpp"
#include "solvers/node_heap.hpp"

#include <vector>

namespace corridex {

// The search that DijkstraAlgorithm and AStar share: expand the top of a NodeHeap keyed by `key`,
// recording each expanded cell, until the target is on top or the heap runs empty. Each edge of
// an expanded node lowers its neighbour's startDistance when strictly shorter (whether or not the
// neighbour was expanded) and then calls `improved(neighbour)`; a node enters the heap once.
template <class Node, class Key, class Improved>
void bestFirstSearch(Node* start, const Node* target, std::vector<Index>& traversed, Key key,
                     Improved improved, CancellationPoll& poll) {
    NodeHeap<Node, Key> heap(key);
    heap.push(start);
    while (!heap.empty()) {
        poll.tick();
        Node* node = heap.top();
        traversed.push_back(node->position);
        if (node == target) {
            return;
        }
        heap.pop();
        for (const Edge<Node>& edge : node->edges) {
            Node* neighbour = edge.neighbour;
            const std::uint64_t distance = node->startDistance + edge.length;
            if (distance >= neighbour->startDistance) {
                continue;
            }
            neighbour->startDistance = distance;
            neighbour->parent = node;
            improved(neighbour);
            if (neighbour->visited) {
                continue;
            }
            neighbour->visited = true;
            heap.push(neighbour);
        }
    }
}

// After a best-first search: when the end cell was the last one expanded, the route from the
// end back to the start and the end node's startDistance as its length.
template <class Node> void reconstructFromEnd(SolverResults& results, const Node* endNode) {
    if (reachedEnd(results, endNode->position)) {
        tracePath(results, endNode);
        results.distance = endNode->startDistance;
    }
}

} // namespace corridex
