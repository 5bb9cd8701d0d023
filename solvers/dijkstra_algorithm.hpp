#pragma once

#include "maze/cancellation.hpp"
#include "maze/graph_nodes.hpp"
#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "solvers/solver_base.hpp"

namespace corridex {

// Least corridor length by best-first search on startDistance over the corridor graph. Records
// each node as it is expanded; stops when the end node is on top of the queue. Keys that drop in
// the queue are not re-sifted, so on mazes with loops the order (and route) follows the heap's
// rules exactly. Path runs end to start. Cost O((nodes + edges) log nodes).
class DijkstraAlgorithm : public SolverBase<DistanceNode> {
public:
    // The class name in every language binding and in test names.
    static constexpr const char* kName = "DijkstraAlgorithm";

    DijkstraAlgorithm(const Grid& grid, const Index& start, const Index& end);

    // Throws std::invalid_argument when the start or end cell is not an open cell.
    void solve(CancellationPoll poll = CancellationPoll{});
};

} // namespace corridex
