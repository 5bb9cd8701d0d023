#include "solvers/floyd_warshall.hpp"

#include "maze/corridor_graph.hpp"
#include "solvers/all_pairs_tables.hpp"

#include <cstdint>

namespace corridex {

FloydWarshall::FloydWarshall(const Grid& grid, const Index& start, const Index& end)
    : SolverBase(buildCorridorGraph<FloydWarshallNode>(grid, start, end), start, end) {}

void FloydWarshall::solve(CancellationPoll poll) {
    SolveRun run = beginRepeatedSolve();
    const auto& nodes = graph_.nodes;
    if (fitsNarrowTables(nodes)) {
        solveAllPairs<std::uint32_t>(nodes, graph_.startNode, graph_.endNode, results_, poll);
    } else {
        solveAllPairs<std::uint64_t>(nodes, graph_.startNode, graph_.endNode, results_, poll);
    }
    run.finish();
}

std::uint64_t FloydWarshall::traversedNodesNo() const {
    const std::uint64_t count = results_.traversed.size();
    return count * count * count;
}

} // namespace corridex
