#pragma once

#include "maze/index.hpp"
#include "maze/inline_list.hpp"

#include <cstdint>

namespace corridex {

// A distance not yet known: the largest signed 64-bit value. Distances are summed and compared
// as unsigned numbers, so adding any corridor length to it neither wraps nor comes out smaller,
// and an unreached node never improves a neighbour.
inline constexpr std::uint64_t kUnreached = 0x7FFFFFFFFFFFFFFFULL;

// One corridor of the corridor graph, seen from one of its ends.
template <class Node> struct Edge {
    Node* neighbour = nullptr;
    std::uint64_t length = 0; // steps along the corridor, at least 1
};

// Corridors leave a node left, up, right, down: at most four, stored in that order.
template <class Node> using CorridorEdges = InlineList<Edge<Node>, 4>;

// The node records, one per solver class. Each carries its cell, the search mark, its adjacency
// and the fields its search writes; `resetSearch` restores those fields to their built values.

struct DepthFirstNode {
    Index position;
    bool visited = false;
    DepthFirstNode* parent = nullptr;
    std::uint64_t parentDistance = 0;
    CorridorEdges<DepthFirstNode> edges;

    void resetSearch() {
        visited = false;
        parent = nullptr;
        parentDistance = 0;
    }
};

struct BreadthFirstNode {
    Index position;
    bool visited = false;
    BreadthFirstNode* parent = nullptr;
    // Open cells beside this one, in the order up, down, left, right.
    InlineList<BreadthFirstNode*, 4> neighbours;

    void resetSearch() {
        visited = false;
        parent = nullptr;
    }
};

// Shared by DijkstraAlgorithm and BellmanFord.
struct DistanceNode {
    Index position;
    bool visited = false;
    DistanceNode* parent = nullptr;
    std::uint64_t startDistance = kUnreached;
    CorridorEdges<DistanceNode> edges;

    void resetSearch() {
        visited = false;
        parent = nullptr;
        startDistance = kUnreached;
    }
};

struct AStarNode {
    Index position;
    bool visited = false;
    AStarNode* parent = nullptr;
    std::uint64_t startDistance = kUnreached;
    std::uint64_t estimatedDistance = kUnreached;
    CorridorEdges<AStarNode> edges;

    void resetSearch() {
        visited = false;
        parent = nullptr;
        startDistance = kUnreached;
        estimatedDistance = kUnreached;
    }
};

struct FloydWarshallNode {
    Index position;
    bool visited = false;
    std::uint64_t matrixIndex = 0;
    CorridorEdges<FloydWarshallNode> edges;

    void resetSearch() { matrixIndex = 0; }
};

} // namespace corridex
