#include "solvers/breadth_first_search.hpp"

#include "maze/cell_graph.hpp"

#include <vector>

namespace corridex {

BreadthFirstSearch::BreadthFirstSearch(const Grid& grid, const Index& start, const Index& end)
    : SolverBase(buildCellGraph<BreadthFirstNode>(grid, start, end), start, end) {}

void BreadthFirstSearch::solve(CancellationPoll poll) {
    if (!beginSolve()) {
        return;
    }
    search(graph_.startNode, graph_.endNode, poll);
    // Consecutive cells of the chain are adjacent, so no corridor needs filling in.
    for (const BreadthFirstNode* node = graph_.endNode; node != nullptr; node = node->parent) {
        results_.path.push_back(node->position);
    }
    if (reachedEnd(results_, graph_.endNode->position)) {
        results_.distance = results_.path.size() - 1;
    }
    finishSolve();
}

void BreadthFirstSearch::search(BreadthFirstNode* start, const BreadthFirstNode* target,
                                CancellationPoll& poll) {
    // Nodes are marked when queued, so each enters at most once and a plain array serves as the
    // queue, read from `front` onwards.
    std::vector<BreadthFirstNode*> queue{start};
    start->visited = true;
    for (std::size_t front = 0; front < queue.size(); ++front) {
        poll.tick();
        BreadthFirstNode* node = queue[front];
        results_.traversed.push_back(node->position);
        if (node == target) {
            return;
        }
        for (BreadthFirstNode* neighbour : node->neighbours) {
            if (neighbour->visited) {
                continue;
            }
            neighbour->visited = true;
            neighbour->parent = node;
            queue.push_back(neighbour);
        }
    }
}

} // namespace corridex
