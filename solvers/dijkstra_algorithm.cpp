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
    DistanceNode& start = graph_[graph_.startNode];
    start.startDistance = 0;
    start.visited = true;
    const DistanceNode* nodes = graph_.nodes.data();
    auto key = [nodes](NodeId id) { return nodes[id].startDistance; };
    auto improved = [](DistanceNode&) {};
    bestFirstSearch(graph_, results_.traversed, key, improved, poll);
    reconstructFromEnd(results_, graph_, poll);
    finishSolve();
}

} // namespace corridex
