#pragma once

#include "maze/cancellation.hpp"
#include "maze/graph_nodes.hpp"
#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "solvers/solver_base.hpp"

namespace corridex {

// Best-first search on startDistance plus the Manhattan distance to the end cell, over the
// corridor graph, with DijkstraAlgorithm's queue rules. Records each node as it is expanded;
// stops when the end node is on top. Since dropped keys are not re-sifted, on mazes with loops
// the route need not be shortest and the distance (the end node's startDistance) can exceed
// the path's steps. Path runs end to start. Cost at worst O((nodes + edges) log nodes).
class AStar : public SolverBase<AStarNode> {
public:
    // The class name in every language binding and in test names.
    static constexpr const char* kName = "AStar";

    AStar(const Grid& grid, const Index& start, const Index& end);

    // Throws std::invalid_argument when the start or end cell is not an open cell.
    void solve(CancellationPoll poll = CancellationPoll{});
};

} // namespace corridex
