#pragma once

#include "maze/graph_nodes.hpp"
#include "maze/inline_list.hpp"
#include "system/large_block_allocator.hpp"
#include "system/platform.hpp"

#include <cstddef>
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

namespace detail {

// `end` when `open` is 1, `self` when it is 0, without a branch.
inline NodeId endOrSelf(unsigned open, NodeId end, NodeId self) {
    const NodeId mask = NodeId{0} - static_cast<NodeId>(open);
    return self ^ ((end ^ self) & mask);
}

} // namespace detail

// Calls `visit(edge)` for each corridor leaving node `id` of a corridor-graph store, in the order
// left, up, right, down, except the one to node `skip` (kNoNode skips none). Corridors are
// straight, so each length is the distance between the two ends' cells. Searches run this for
// every node they expand, with the visitor inlined rather than a list built and read back.
template <class Node, class Visit>
void forEachCorridor(const LargeVector<Node>& nodes, NodeId id, NodeId skip, Visit&& visit) {
    const Node& node = nodes[id];
    const NodeId ends[4] = {id - 1, node.above, id + 1, node.below};
    const std::int64_t here = std::int64_t{node.position.row} + node.position.col;
    detail::forEachOpenEnd(ends, node.openSides, detail::kCorridorOrder, skip, [&](NodeId end) {
        const NodePosition& far = nodes[end].position;
        // One of the row and column differences is zero.
        const std::int64_t step = std::int64_t{far.row} + far.col - here;
        visit(Edge{end, static_cast<std::uint32_t>(step < 0 ? -step : step)});
    });
}

// The corridors of node `id` as a list, for code that is not in a search's inner loop.
template <class Node>
InlineList<Edge, 4> corridorsOf(const LargeVector<Node>& nodes, NodeId id) {
    InlineList<Edge, 4> corridors;
    forEachCorridor(nodes, id, kNoNode, [&](const Edge& edge) { corridors.push_back(edge); });
    return corridors;
}

// Starts loading the nodes at the far ends of node `id`'s corridors into cache, for a search that
// will read them a little later: each of those reads would otherwise wait on memory. A closed
// side loads the node itself, so there is no branch. Changes nothing observable. Always inlined:
// GCC takes a separate copy for a pure function, whose calls it then drops.
template <class Node>
CORRIDEX_FORCE_INLINE void prefetchNeighbours(const MazeGraph<Node>& graph, NodeId id) {
    const Node& node = graph[id];
    const unsigned sides = node.openSides;
    platform::prefetch(&graph[id - ((sides / kLeft) & 1U)]);
    platform::prefetch(&graph[detail::endOrSelf(sides & kUp, node.above, id)]);
    platform::prefetch(&graph[id + ((sides / kRight) & 1U)]);
    platform::prefetch(&graph[detail::endOrSelf((sides / kDown) & 1U, node.below, id)]);
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
