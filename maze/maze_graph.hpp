#pragma once

#include "maze/graph_nodes.hpp"
#include "maze/large_block_allocator.hpp"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace corridex {

// The graph a solver searches. `nodes` is in row-major order of the nodes' cells, sized once
// before any node is linked and never resized afterwards, so every NodeId stays valid.
template <class Node>
struct MazeGraph {
    NodeId startNode = kNoNode; // kNoNode when the start cell has no node
    NodeId endNode = kNoNode;   // kNoNode when the end cell has no node
    LargeVector<Node> nodes;

    Node& operator[](NodeId id) { return nodes[id]; }
    const Node& operator[](NodeId id) const { return nodes[id]; }
};

// Starts loading the nodes at the far ends of `node`'s corridors into cache, for a search that
// will read them a little later: corridors lead far away in the store, so each of those reads
// would otherwise wait on memory. Changes nothing observable.
template <class Node>
void prefetchNeighbours(const MazeGraph<Node>& graph, const Node& node) {
#if defined(__GNUC__)
    for (const Edge& edge : node.edges) {
        __builtin_prefetch(&graph[edge.neighbour]);
    }
#else
    (void)graph;
    (void)node;
#endif
}

// Throws std::length_error unless a grid of `rows` x `width` cells with `openCells` open cells
// can be numbered with NodeId: every side and the open-cell count below 2^32 - 1.
inline void requireNumberable(std::size_t rows, std::size_t width, std::size_t openCells) {
    constexpr std::size_t kLimit = kNoNode;
    if (rows >= kLimit || width >= kLimit || openCells >= kLimit) {
        throw std::length_error(
            "grid too large: rows, columns and open cells must each be below " +
            std::to_string(kLimit));
    }
}

} // namespace corridex
