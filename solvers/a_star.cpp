#include "solvers/a_star.hpp"

#include "maze/corridor_graph.hpp"
#include "solvers/best_first_search.hpp"

namespace corridex {

AStar::AStar(const Grid& grid, const Index& start, const Index& end)
    : SolverBase(buildCorridorGraph<AStarNode>(grid, start, end), start, end) {}

void AStar::solve(CancellationPoll poll) {
    if (!beginSolve()) {
        return;
    }
    AStarNode& start = graph_[graph_.startNode];
    const Index goal = graph_[graph_.endNode].position;
    start.visited = true;
    start.startDistance = 0;
    start.estimatedDistance = manhattanDistance(start.position, goal);
    const AStarNode* nodes = graph_.nodes.data();
    auto key = [nodes](NodeId id) { return nodes[id].estimatedDistance; };
    // The estimate is refreshed only when startDistance improves, and stored so the queue
    // never recomputes it.
    auto improved = [goal](AStarNode& node) {
        node.estimatedDistance = node.startDistance + manhattanDistance(node.position, goal);
    };
    bestFirstSearch(graph_, results_.traversed, key, improved, poll);
    reconstructFromEnd(results_, graph_, poll);
    finishSolve();
}

} // namespace corridex
