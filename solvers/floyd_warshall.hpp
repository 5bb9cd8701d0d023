#pragma once

#include "maze/cancellation.hpp"
#include "maze/graph_nodes.hpp"
#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "solvers/solver_base.hpp"

#include <cstdint>

namespace corridex {

// Shortest corridor lengths between every pair of nodes (Floyd-Warshall over the corridor
// graph), then the route read forwards from the start. Records every node of the graph, in
// store order. Path runs start to end. Each solve() repeats the work and appends to the results
// again. Cost: n^3 relaxation steps and, while solve() runs, 8 n^2 bytes of tables (16 n^2 when
// the corridor lengths add up to 2^30 or more).
class FloydWarshall : public SolverBase<FloydWarshallNode> {
public:
    // The class name in every language binding and in test names.
    static constexpr const char* kName = "FloydWarshall";

    FloydWarshall(const Grid& grid, const Index& start, const Index& end);

    // Throws std::invalid_argument when the start or end cell is not an open cell, and
    // std::bad_alloc, before allocating, when the tables would not fit in physical memory.
    void solve(CancellationPoll poll = CancellationPoll{});

    // The cube of the number of recorded cells, modulo 2^64: the relaxation steps made.
    std::uint64_t traversedNodesNo() const;
};

} // namespace corridex
