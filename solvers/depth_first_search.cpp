#include "solvers/depth_first_search.hpp"

#include "maze/corridor_graph.hpp"

#include <vector>

namespace corridex {

DepthFirstSearch::DepthFirstSearch(const Grid& grid, const Index& start, const Index& end)
    : SolverBase(buildCorridorGraph<DepthFirstNode>(grid, start, end), start, end) {}

void DepthFirstSearch::solve(CancellationPoll poll) {
    if (!beginSolve()) {
        return;
    }
    search(graph_.startNode, graph_.endNode, poll);
    if (reachedEnd(results_, graph_.endNode->position)) {
        tracePath(results_, graph_.endNode);
        for (const DepthFirstNode* node = graph_.endNode; node != nullptr; node = node->parent) {
            results_.distance += node->parentDistance;
        }
    }
    finishSolve();
}

void DepthFirstSearch::search(DepthFirstNode* start, const DepthFirstNode* target,
                              CancellationPoll& poll) {
    // A node can stand on the stack several times; each push relinks it to its pusher, and the
    // copy taken first is the one pushed last.
    std::vector<DepthFirstNode*> stack{start};
    while (!stack.empty()) {
        poll.tick();
        DepthFirstNode* node = stack.back();
        stack.pop_back();
        if (node->visited) {
            continue;
        }
        node->visited = true;
        results_.traversed.push_back(node->position);
        if (node == target) {
            return;
        }
        for (const Edge<DepthFirstNode>& edge : node->edges) {
            DepthFirstNode* neighbour = edge.neighbour;
            if (neighbour->visited) {
                continue;
            }
            neighbour->parent = node;
            neighbour->parentDistance = edge.length;
            stack.push_back(neighbour);
        }
    }
}

} // namespace corridex
