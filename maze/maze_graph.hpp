#pragma once

#include <vector>

namespace corridex {

// The graph a solver searches. `nodes` is in row-major order of the nodes' cells and is sized
// once, before any node is linked; it never reallocates afterwards, so `startNode`, `endNode`
// and every link between nodes stay valid for the graph's life (moving the graph keeps them).
template <class Node> struct MazeGraph {
    Node* startNode = nullptr; // null when the start cell has no node
    Node* endNode = nullptr;   // null when the end cell has no node
    std::vector<Node> nodes;

    MazeGraph() = default;
    MazeGraph(MazeGraph&&) noexcept = default;
    MazeGraph& operator=(MazeGraph&&) noexcept = default;
    MazeGraph(const MazeGraph&) = delete;
    MazeGraph& operator=(const MazeGraph&) = delete;

    // Index of `node` in `nodes`.
    std::size_t indexOf(const Node* node) const {
        return static_cast<std::size_t>(node - nodes.data());
    }
};

} // namespace corridex
