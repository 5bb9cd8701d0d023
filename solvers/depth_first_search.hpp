#pragma once

#include "maze/cancellation.hpp"
#include "maze/graph_nodes.hpp"
#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "solvers/solver_base.hpp"

namespace corridex {

// Some route, not necessarily a short one, by depth-first search over the corridor graph,
// trying the ways down, right, up, left in that order. Records each node when it is taken from
// the stack; stops when it takes the end node. Path runs end to start. Cost O(nodes + edges).
class DepthFirstSearch : public SolverBase<DepthFirstNode> {
public:
    // The class name in every language binding and in test names.
    static constexpr const char* kName = "DepthFirstSearch";

    DepthFirstSearch(const Grid& grid, const Index& start, const Index& end);

    // Throws std::invalid_argument when the start or end cell is not an open cell.
    void solve(CancellationPoll poll = CancellationPoll{});

private:
    void search(CancellationPoll& poll);
};

} // namespace corridex
