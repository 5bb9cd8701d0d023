#include "solvers/dijkstra_algorithm.hpp"

#include "maze/corridor_graph.hpp"
#include "solvers/best_first_search.hpp"

#include <cstdint>

namespace corridex {
namespace {

// Keyed on startDistance itself.
struct DistanceRule {
    static std::uint64_t key(const DistanceNode& node) { return node.startDistance; }
    static std::uint64_t startDistance(const DistanceNode& node) { return node.startDistance; }
    static bool lower(DistanceNode& node, std::uint64_t distance) {
        if (distance >= node.startDistance) {
            return false;
        }
        node.startDistance = distance;
        return true;
    }
};

} // namespace

DijkstraAlgorithm::DijkstraAlgorithm(const Grid& grid, const Index& start, const Index& end)
    : SolverBase(buildCorridorGraph<DistanceNode>(grid, start, end), start, end) {}

void DijkstraAlgorithm::solve(CancellationPoll poll) {
    SolveRun run = beginSolve(kName, sizeof(Index) + kHeapBytesPerNode);
    if (!run) {
        return;
    }
    DistanceNode& start = graph_[graph_.startNode];
    start.startDistance = 0;
    start.visited = true;
    const DistanceRule rule;
    bestFirstSearch(graph_, results_.traversed, rule, poll);
    reconstructFromEnd(results_, graph_, rule, poll);
    run.finish();
}

} // namespace corridex
