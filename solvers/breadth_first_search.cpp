#include "solvers/breadth_first_search.hpp"

#include "maze/cell_graph.hpp"

#include <vector>

namespace corridex {

BreadthFirstSearch::BreadthFirstSearch(const Grid& grid, const Index& start, const Index& end)
    : SolverBase(buildCellGraph<BreadthFirstNode>(grid, start, end), start, end) {}

void BreadthFirstSearch::solve(CancellationPoll poll) {
    SolveRun run = beginSolve(kName, sizeof(Index) + sizeof(NodeId));
    if (!run) {
        return;
    }
    search(poll);
    // Consecutive cells of the chain are adjacent, so no corridor needs filling in.
    const NodeId end = graph_.endNode;
    for (NodeId id = end; id != kNoNode; id = graph_[id].parent) {
        results_.path.push_back(graph_[id].position);
        poll.tick();
    }
    if (reachedEnd(results_, graph_[end].position)) {
        results_.distance = results_.path.size() - 1;
    }
    run.finish();
}

void BreadthFirstSearch::search(CancellationPoll& poll) {
    const std::size_t nodeCount = graph_.nodes.size();
    results_.traversed.reserve(results_.traversed.size() + nodeCount);
    // Nodes are marked when queued, so each enters at most once and a plain array serves as the
    // queue, read from `front` onwards.
    LargeVector<NodeId> queue;
    queue.reserve(nodeCount);
    queue.push_back(graph_.startNode);
    graph_[graph_.startNode].visited = true;
    for (std::size_t front = 0; front < queue.size(); ++front) {
        poll.tick();
        const NodeId id = queue[front];
        const BreadthFirstNode& node = graph_[id];
        results_.traversed.push_back(node.position);
        if (id == graph_.endNode) {
            return;
        }
        // The parent, which queued this node, is marked already: its side is skipped.
        node.forEachNeighbour(id, node.parent, [&](NodeId next) {
            BreadthFirstNode& neighbour = graph_[next];
            if (neighbour.visited) {
                return;
            }
            neighbour.visited = true;
            neighbour.parent = id;
            queue.push_back(next);
        });
    }
}

} // namespace corridex
