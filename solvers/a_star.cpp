#include "solvers/a_star.hpp"

#include "maze/corridor_graph.hpp"
#include "solvers/best_first_search.hpp"

#include <cstdint>

namespace corridex {
namespace {

// Keyed on estimatedDistance, startDistance plus the Manhattan distance to the end cell. The
// record stores only the key (so that it is as small as DistanceNode); startDistance is the key
// less the estimate. A distance offered to a node is compared with the node's own with the
// node's estimate added to both sides, which gives the same outcome.
class EstimateRule {
public:
    explicit EstimateRule(const NodePosition& goal) : goal_(goal) {}

    // manhattanDistance from `cell` to the end cell, on the records' 32-bit halves.
    std::uint64_t estimate(const NodePosition& cell) const {
        const std::int64_t rows = std::int64_t{cell.row} - goal_.row;
        const std::int64_t cols = std::int64_t{cell.col} - goal_.col;
        return static_cast<std::uint64_t>((rows < 0 ? -rows : rows) + (cols < 0 ? -cols : cols));
    }
    static std::uint64_t key(const AStarNode& node) { return node.estimatedDistance; }
    std::uint64_t startDistance(const AStarNode& node) const {
        return node.estimatedDistance - estimate(node.position);
    }
    bool lower(AStarNode& node, std::uint64_t distance) const {
        const std::uint64_t estimated = distance + estimate(node.position);
        if (estimated >= node.estimatedDistance) {
            return false;
        }
        node.estimatedDistance = estimated;
        return true;
    }

private:
    NodePosition goal_;
};

} // namespace

AStar::AStar(const Grid& grid, const Index& start, const Index& end)
    : SolverBase(buildCorridorGraph<AStarNode>(grid, start, end), start, end) {}

void AStar::solve(CancellationPoll poll) {
    SolveRun run = beginSolve(kName, sizeof(Index) + kHeapBytesPerNode);
    if (!run) {
        return;
    }
    const EstimateRule rule(graph_[graph_.endNode].position);
    AStarNode& start = graph_[graph_.startNode];
    start.visited = true;
    start.estimatedDistance = rule.estimate(start.position);
    bestFirstSearch(graph_, results_.traversed, rule, poll);
    reconstructFromEnd(results_, graph_, rule, poll);
    run.finish();
}

} // namespace corridex
