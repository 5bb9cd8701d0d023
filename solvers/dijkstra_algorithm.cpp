#include "solvers/dijkstra_algorithm.hpp"

#include "maze/corridor_graph.hpp"
#include "solvers/best_first_search.hpp"

namespace corridex {

DijkstraAlgorithm::DijkstraAlgorithm(const Grid& grid, const Index& start, const Index& end)
    : SolverBase(buildCorridorGraph<DistanceNode>(grid, start, end), start, end) {}

void DijkstraAlgorithm::solve(CancellationPoll poll) {
    if (!beginSolve()) {
        return;
    }
    DistanceNode* start = graph_.startNode;
    start->startDistance = 0;
    start->visited = true;
    auto key = [](const DistanceNode* node) { return node->startDistance; };
    auto improved = [](DistanceNode*) {};
    bestFirstSearch(start, graph_.endNode, results_.traversed, key, improved, poll);
    reconstructFromEnd(results_, graph_.endNode);
    finishSolve();
}

} // namespace corridex
