#pragma once

#include "maze/index.hpp"
#include "maze/inline_list.hpp"

#include <cstddef>
#include <cstdint>

namespace corridex {

// A distance not yet known: the largest signed 64-bit value. Distances are summed and compared
// as unsigned 64-bit numbers, so adding any corridor length to it neither wraps nor comes out
// smaller, and an unreached node never improves a neighbour.
inline constexpr std::uint64_t kUnreached = 0x7FFFFFFFFFFFFFFFULL;

// Nodes refer to one another by their place in the graph's node store, which keeps the records
// small: the store never moves or reorders them, so a place is as stable as a reference.
using NodeId = std::uint32_t;
inline constexpr NodeId kNoNode = UINT32_MAX;

// A node's cell, held as two 32-bit halves to keep the records small: grid sides are below 2^32
// (the builders check). It reads as an Index wherever one is expected.
struct NodePosition {
    std::uint32_t row = 0;
    std::uint32_t col = 0;

    NodePosition() = default;
    NodePosition(std::size_t row, std::size_t col)
        : row(static_cast<std::uint32_t>(row)), col(static_cast<std::uint32_t>(col)) {}
    operator Index() const { return Index{row, col}; }
};

// One corridor of the corridor graph, seen from one of its ends. Grid sides are below 2^32
// cells (the builders check), so a corridor's length fits in 32 bits.
struct Edge {
    NodeId neighbour = kNoNode;
    std::uint32_t length = 0; // steps along the corridor, at least 1
};

// Corridors leave a node left, up, right, down: at most four, stored in that order.
using CorridorEdges = InlineList<Edge, 4>;

// The node records, one per solver class: the node's cell, the search mark, the adjacency and
// the fields the class's search writes. `resetSearch` restores those fields to their built values.

struct DepthFirstNode {
    NodePosition position;
    NodeId parent = kNoNode;
    std::uint32_t parentDistance = 0; // length of the corridor from `parent`
    CorridorEdges edges;
    bool visited = false;

    void resetSearch() {
        visited = false;
        parent = kNoNode;
        parentDistance = 0;
    }
};

// A cell-graph node links to the open cells beside it. Its left and right neighbours are the
// nodes just before and after it in the row-major store, so only the nodes above and below are
// held, with a bit for each open side: 24 bytes a node.
struct BreadthFirstNode {
    enum Side : std::uint8_t { kUp = 1, kDown = 2, kLeft = 4, kRight = 8 };

    NodePosition position;
    NodeId parent = kNoNode;
    NodeId above = kNoNode; // the node of the cell above, when kUp is set
    NodeId below = kNoNode; // the node of the cell below, when kDown is set
    std::uint8_t openSides = 0;
    bool visited = false;

    // The nodes of the open cells beside this node, whose own id is `self`, in the order up,
    // down, left, right.
    InlineList<NodeId, 4> neighbours(NodeId self) const {
        InlineList<NodeId, 4> list;
        if ((openSides & kUp) != 0) {
            list.push_back(above);
        }
        if ((openSides & kDown) != 0) {
            list.push_back(below);
        }
        if ((openSides & kLeft) != 0) {
            list.push_back(self - 1);
        }
        if ((openSides & kRight) != 0) {
            list.push_back(self + 1);
        }
        return list;
    }

    void resetSearch() {
        visited = false;
        parent = kNoNode;
    }
};

// Shared by DijkstraAlgorithm and BellmanFord.
struct DistanceNode {
    NodePosition position;
    std::uint64_t startDistance = kUnreached;
    NodeId parent = kNoNode;
    CorridorEdges edges;
    bool visited = false;

    void resetSearch() {
        visited = false;
        parent = kNoNode;
        startDistance = kUnreached;
    }
};

struct AStarNode {
    NodePosition position;
    std::uint64_t startDistance = kUnreached;
    std::uint64_t estimatedDistance = kUnreached; // startDistance + Manhattan distance to the end
    NodeId parent = kNoNode;
    CorridorEdges edges;
    bool visited = false;

    void resetSearch() {
        visited = false;
        parent = kNoNode;
        startDistance = kUnreached;
        estimatedDistance = kUnreached;
    }
};

struct FloydWarshallNode {
    NodePosition position;
    std::uint64_t matrixIndex = 0;
    CorridorEdges edges;
    bool visited = false;

    void resetSearch() { matrixIndex = 0; }
};

} // namespace corridex
