#include "solvers/bellman_ford.hpp"

#include "maze/corridor_graph.hpp"

#include <cstdint>
#include <vector>

namespace corridex {

BellmanFord::BellmanFord(const Grid& grid, const Index& start, const Index& end)
    : SolverBase(buildCorridorGraph<DistanceNode>(grid, start, end), start, end) {}

void BellmanFord::solve(CancellationPoll poll) {
    if (!beginSolve()) {
        return;
    }
    search(graph_.startNode, poll);
    const DistanceNode* end = graph_.endNode;
    if (end->startDistance != kUnreached) {
        tracePath(results_, end);
        results_.distance = end->startDistance;
    }
    finishSolve();
}

void BellmanFord::search(DistanceNode* start, CancellationPoll& poll) {
    start->startDistance = 0;
    const std::size_t nodeCount = graph_.nodes.size();
    const std::size_t passLimit = nodeCount - 1;
    if (passLimit == 0) {
        return;
    }
    // A node whose distance has not dropped since it last relaxed its edges cannot improve any
    // neighbour (their distances only fall), so each pass visits only the nodes marked here, in
    // store order; a node improved ahead of the pass's position is still relaxed in this pass,
    // exactly as a full sweep would, and one behind it waits for the next.
    constexpr std::size_t kBits = 64;
    std::vector<std::uint64_t> pending((nodeCount + kBits - 1) / kBits, 0);
    auto mark = [&](std::size_t node) {
        pending[node / kBits] |= std::uint64_t{1} << (node % kBits);
    };
    mark(graph_.indexOf(start));

    for (std::size_t passesWithChange = 0; passesWithChange < passLimit;) {
        bool changed = false;
        for (std::size_t word = 0; word < pending.size(); ++word) {
            std::uint64_t unseen = ~std::uint64_t{0};
            while (std::uint64_t live = pending[word] & unseen) {
                const unsigned bit = static_cast<unsigned>(__builtin_ctzll(live));
                unseen = bit + 1 == kBits ? 0 : ~std::uint64_t{0} << (bit + 1);
                pending[word] &= ~(std::uint64_t{1} << bit);
                DistanceNode& node = graph_.nodes[word * kBits + bit];
                for (const Edge<DistanceNode>& edge : node.edges) {
                    DistanceNode* neighbour = edge.neighbour;
                    const std::uint64_t distance = node.startDistance + edge.length;
                    if (distance >= neighbour->startDistance) {
                        continue;
                    }
                    neighbour->startDistance = distance;
                    neighbour->parent = &node;
                    results_.traversed.push_back(neighbour->position);
                    mark(graph_.indexOf(neighbour));
                    changed = true;
                }
                poll.tick();
            }
        }
        poll.tick(pending.size());
        if (!changed) {
            break;
        }
        ++passesWithChange;
    }
}

} // namespace corridex
