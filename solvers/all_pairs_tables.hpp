#pragma once

#include "maze/cancellation.hpp"
#include "maze/graph_nodes.hpp"
#include "maze/solver_results.hpp"
#include "system/large_block_allocator.hpp"

namespace corridex {

// Floyd-Warshall's all-pairs tables over a corridor graph, indexed by node id: builds the distance
// and next-hop tables with `Entry` entries (std::uint32_t or std::uint64_t), relaxes them in k, i,
// j order, records every node and reads the route from `start` to `end` into `results`. Throws
// std::bad_alloc, before allocating, when 2 n^2 entries would not fit in physical memory. `poll`
// ticks through the filling and the relaxation of the tables; an exception from it leaves
// `results` unchanged. Cost: n^3 relaxation steps.
template <class Entry>
void solveAllPairs(const LargeVector<FloydWarshallNode>& nodes, NodeId start, NodeId end,
                   SolverResults& results, CancellationPoll& poll);

// True when 32-bit tables give exactly the outcome of 64-bit ones for these nodes.
bool fitsNarrowTables(const LargeVector<FloydWarshallNode>& nodes);

} // namespace corridex
