#pragma once

#include "maze/cancellation.hpp"
#include "maze/graph_nodes.hpp"
#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "solvers/solver_base.hpp"

namespace corridex {

// Least corridor length to every node by passes of edge relaxation over the whole node store in
// row-major order, until a pass improves nothing or nodes - 1 passes have improved something.
// Records a node's cell each time its distance drops (repeats possible; never the start cell).
// Path runs end to start. Time grows with the improvements made plus a small cost per pass.
class BellmanFord : public SolverBase<DistanceNode> {
public:
    // The class name in every language binding and in test names.
    static constexpr const char* kName = "BellmanFord";

    BellmanFord(const Grid& grid, const Index& start, const Index& end);

    // Throws std::invalid_argument when the start or end cell is not an open cell.
    void solve(CancellationPoll poll = CancellationPoll{});

private:
    void search(CancellationPoll& poll);
};

} // namespace corridex
