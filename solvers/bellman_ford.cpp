#include "solvers/bellman_ford.hpp"

#include "maze/corridor_graph.hpp"
#include "solvers/pending_nodes.hpp"

#include <cstdint>
#include <vector>

namespace corridex {

BellmanFord::BellmanFord(const Grid& grid, const Index& start, const Index& end)
    : SolverBase(buildCorridorGraph<DistanceNode>(grid, start, end), start, end) {}

void BellmanFord::solve(CancellationPoll poll) {
    SolveRun run = beginSolve(kName, sizeof(Index) + 1);
    if (!run) {
        return;
    }
    search(poll);
    const DistanceNode& end = graph_[graph_.endNode];
    if (end.startDistance != kUnreached) {
        tracePath(results_, graph_.nodes, graph_.endNode, poll);
        results_.distance = end.startDistance;
    }
    run.finish();
}

void BellmanFord::search(CancellationPoll& poll) {
    graph_[graph_.startNode].startDistance = 0;
    const std::size_t nodeCount = graph_.nodes.size();
    const std::size_t passLimit = nodeCount - 1;
    if (passLimit == 0) {
        return;
    }
    // A node whose distance has not dropped since it last relaxed its edges cannot improve any
    // neighbour (their distances only fall), so each pass visits only the pending nodes, in store
    // order. A node improved ahead of the pass's position is still relaxed in this pass, exactly
    // as a full sweep would; one behind it waits for the next pass.
    PendingNodes pending(nodeCount);
    pending.insert(graph_.startNode);
    for (std::size_t passesWithChange = 0; passesWithChange < passLimit;) {
        bool changed = false;
        for (std::size_t at = pending.next(0); at != PendingNodes::npos;
             at = pending.next(at + 1)) {
            pending.erase(at);
            const DistanceNode& node = graph_.nodes[at];
            // The corridor back to the parent cannot improve it (see bestFirstSearch).
            forEachCorridor(
                graph_.nodes, static_cast<NodeId>(at), node.parent, [&](const Edge& edge) {
                    DistanceNode& neighbour = graph_[edge.neighbour];
                    const std::uint64_t distance = node.startDistance + edge.length;
                    if (distance >= neighbour.startDistance) {
                        return;
                    }
                    neighbour.startDistance = distance;
                    neighbour.parent = static_cast<NodeId>(at);
                    results_.traversed.push_back(neighbour.position);
                    pending.insert(edge.neighbour);
                    prefetchNeighbours(graph_, edge.neighbour); // read when it relaxes its edges
                    changed = true;
                });
            poll.tick();
        }
        if (!changed) {
            break;
        }
        ++passesWithChange;
    }
}

} // namespace corridex
