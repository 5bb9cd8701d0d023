#include "solvers/depth_first_search.hpp"

#include "maze/corridor_graph.hpp"

#include <vector>

namespace corridex {

DepthFirstSearch::DepthFirstSearch(const Grid& grid, const Index& start, const Index& end)
    : SolverBase(buildCorridorGraph<DepthFirstNode>(grid, start, end), start, end) {}

void DepthFirstSearch::solve(CancellationPoll poll) {
    SolveRun run = beginSolve(kName, sizeof(Index) + 4 * sizeof(NodeId));
    if (!run) {
        return;
    }
    search(poll);
    const NodeId end = graph_.endNode;
    if (reachedEnd(results_, graph_[end].position)) {
        tracePath(results_, graph_.nodes, end, poll);
        for (NodeId id = end; id != kNoNode; id = graph_[id].parent) {
            results_.distance += graph_[id].parentDistance;
        }
    }
    run.finish();
}

void DepthFirstSearch::search(CancellationPoll& poll) {
    results_.traversed.reserve(results_.traversed.size() + graph_.nodes.size());
    // A node can stand on the stack several times; each push relinks it to its pusher, and the
    // copy taken first is the one pushed last.
    LargeVector<NodeId> stack{graph_.startNode};
    while (!stack.empty()) {
        poll.tick();
        const NodeId id = stack.back();
        stack.pop_back();
        DepthFirstNode& node = graph_[id];
        if (node.visited) {
            continue;
        }
        node.visited = true;
        results_.traversed.push_back(node.position);
        if (id == graph_.endNode) {
            return;
        }
        // The parent, which pushed this node, has been visited: its corridor is skipped.
        forEachCorridor(graph_.nodes, id, node.parent, [&](const Edge& edge) {
            DepthFirstNode& neighbour = graph_[edge.neighbour];
            if (neighbour.visited) {
                return;
            }
            neighbour.parent = id;
            neighbour.parentDistance = edge.length;
            stack.push_back(edge.neighbour);
            prefetchNeighbours(graph_, edge.neighbour); // read when it is taken from the stack
        });
    }
}

} // namespace corridex
