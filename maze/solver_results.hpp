#pragma once

#include "maze/cancellation.hpp"
#include "maze/graph_nodes.hpp"
#include "maze/index.hpp"
#include "system/large_block_allocator.hpp"
#include "system/memory_budget.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corridex {

// What a solve reports: the route's cells, the cells the search recorded in order, and the
// route's length in steps. Holds copies of positions, never references into a graph.
struct SolverResults {
    LargeVector<Index> path;
    LargeVector<Index> traversed;
    std::uint64_t distance = 0;
};

// True when the last recorded cell is `endPosition`. Needs a non-empty `traversed`.
bool reachedEnd(const SolverResults& results, const Index& endPosition);

// Appends `target` to `path`, first filling in the cells of the straight corridor from the
// current last cell. The two cells must share a row or a column; std::logic_error otherwise.
void extendPath(LargeVector<Index>& path, const Index& target);

// Walks the parent chain from `endNode` to the node without a parent, extending `path` with each
// node's cell: the route from the end cell back to the start cell, corridors filled in. The
// chain is walked once to size the route, so the route is allocated once. `poll` ticks once per
// node and once per cell filled in.
template <class Nodes>
void tracePath(SolverResults& results, const Nodes& nodes, NodeId endNode,
               CancellationPoll& poll) {
    LargeVector<NodeId> chain;
    std::uint64_t cells = 1;
    for (NodeId id = endNode; id != kNoNode; id = nodes[id].parent) {
        if (!chain.empty()) {
            cells += manhattanDistance(nodes[chain.back()].position, nodes[id].position);
        }
        chain.push_back(id);
        poll.tick();
    }
    requireFitsInMemory(checkedProduct(cells, sizeof(Index), "the route"), "the route");
    results.path.reserve(results.path.size() + cells);
    for (const NodeId id : chain) {
        const std::size_t before = results.path.size();
        extendPath(results.path, nodes[id].position);
        poll.tick(results.path.size() - before);
    }
}

} // namespace corridex
