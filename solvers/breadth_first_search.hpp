#pragma once

#include "maze/cancellation.hpp"
#include "maze/graph_nodes.hpp"
#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "solvers/solver_base.hpp"

namespace corridex {

// A route with the fewest steps, by breadth-first search over the cell graph, discovering each
// cell's neighbours up, down, left, right. Records each cell when it reaches the front of the
// queue; stops when the end cell does. Path runs end to start; when the end is unreachable it
// holds the end cell alone and the distance stays 0. Cost O(open cells).
class BreadthFirstSearch : public SolverBase<BreadthFirstNode> {
public:
    // The class name in every language binding and in test names.
    static constexpr const char* kName = "BreadthFirstSearch";

    BreadthFirstSearch(const Grid& grid, const Index& start, const Index& end);

    // Throws std::invalid_argument when the start or end cell is not an open cell.
    void solve(CancellationPoll poll = CancellationPoll{});

private:
    void search(CancellationPoll& poll);
};

} // namespace corridex
