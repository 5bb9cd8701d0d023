#include "solvers/all_pairs_tables.hpp"

#include "maze/maze_graph.hpp"
#include "system/memory_budget.hpp"
#include "system/platform.hpp"

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <type_traits>

namespace corridex {
namespace {

// The tables' entries are unsigned 32-bit when every route in the graph is short enough, which
// halves the memory each relaxation step streams through, and 64-bit otherwise. The outcome is
// the same either way: a 32-bit table marks a missing route with 2^31 - 1 where a 64-bit one uses
// 2^63 - 1, and when every corridor length added together stays below 2^30, any sum of two route
// lengths is below 2^31 - 1, so each comparison comes out as it would in 64 bits.
template <class Entry>
struct Tables {
    static constexpr Entry kUnreached = std::numeric_limits<std::make_signed_t<Entry>>::max();
    static constexpr Entry kNoHop = std::numeric_limits<Entry>::max();
};

// One row of the relaxation: dist[j] = min(dist[j], via[j] + toVia), taking hop on every strict
// improvement. Every entry is at most the unreached value (the largest signed Entry) and toVia
// is below it, so a sum does not wrap; a sum past the largest signed Entry never improves an
// entry, which lets the test be made on signed lanes. Inlined into each build of relaxRow.
template <class Entry>
CORRIDEX_FORCE_INLINE void relaxEntries(Entry* __restrict dist, Entry* __restrict hops,
                                        const Entry* __restrict via, Entry toVia, Entry hop,
                                        std::size_t n) {
    using Signed = std::make_signed_t<Entry>;
    auto improves = [&](std::size_t j) {
        const auto through = static_cast<Signed>(static_cast<Entry>(via[j] + toVia));
        const auto current = static_cast<Signed>(dist[j]);
        // Both tests always made, so that the compiler can run many entries side by side.
        return static_cast<bool>((through >= 0) & (through < current));
    };
    // Improvements grow rare as k rises, so each block of entries is first only compared, and
    // written only when something in it improves.
    constexpr std::size_t kBlock = 64 / sizeof(Entry) * 2;
    std::size_t j = 0;
    for (; j + kBlock <= n; j += kBlock) {
        // An integer reduction, which the compiler runs on vector lanes; a bool one it does not.
        std::uint32_t any = 0;
        for (std::size_t b = j; b < j + kBlock; ++b) {
            any |= improves(b) ? 1U : 0U;
        }
        if (any == 0) {
            continue;
        }
        for (std::size_t b = j; b < j + kBlock; ++b) {
            const bool better = improves(b);
            dist[b] = better ? static_cast<Entry>(via[b] + toVia) : dist[b];
            hops[b] = better ? hop : hops[b];
        }
    }
    for (; j < n; ++j) {
        if (improves(j)) {
            dist[j] = static_cast<Entry>(via[j] + toVia);
            hops[j] = hop;
        }
    }
}

// relaxEntries for each table width, built for AVX-512 (x86-64-v4) and AVX2 too and picked at
// load time (compilers clone plain functions only, not templates).
CORRIDEX_TARGET_CLONES(CORRIDEX_CLONE_AVX512, "avx2", "default")
void relaxRow(std::uint32_t* __restrict dist, std::uint32_t* __restrict hops,
              const std::uint32_t* __restrict via, std::uint32_t toVia, std::uint32_t hop,
              std::size_t n) {
    relaxEntries(dist, hops, via, toVia, hop, n);
}
CORRIDEX_TARGET_CLONES(CORRIDEX_CLONE_AVX512, "avx2", "default")
void relaxRow(std::uint64_t* __restrict dist, std::uint64_t* __restrict hops,
              const std::uint64_t* __restrict via, std::uint64_t toVia, std::uint64_t hop,
              std::size_t n) {
    relaxEntries(dist, hops, via, toVia, hop, n);
}

// dist[i][j] = min(dist[i][j], dist[i][k] + dist[k][j]) for k, i, j in that nesting, keeping
// nextHop[i][j] = nextHop[i][k] on every strict improvement. Rows whose dist[i][k] is unreached
// are skipped, and so is row k: a sum with the unreached value never improves an entry, and
// dist[k][k] is 0.
template <class Entry>
void relaxAllPairs(LargeVector<Entry>& dist, LargeVector<Entry>& nextHop, std::size_t n,
                   CancellationPoll& poll) {
    for (std::size_t k = 0; k < n; ++k) {
        const Entry* viaRow = dist.data() + k * n;
        for (std::size_t i = 0; i < n; ++i) {
            Entry* distRow = dist.data() + i * n;
            const Entry toVia = distRow[k];
            if (toVia == Tables<Entry>::kUnreached || i == k) {
                continue;
            }
            Entry* hopRow = nextHop.data() + i * n;
            relaxRow(distRow, hopRow, viaRow, toVia, hopRow[k], n);
            poll.tick(n / 16 + 1);
        }
    }
}

} // namespace

// Builds both tables with `Entry` entries, relaxes them, records every node and reads the route
// from `start` to `end` into `results`. Table rows and columns are node ids.
template <class Entry>
void solveAllPairs(const LargeVector<FloydWarshallNode>& nodes, NodeId start, NodeId end,
                   SolverResults& results, CancellationPoll& poll) {
    const std::size_t n = nodes.size();
    const std::uint64_t entries = checkedProduct(n, n, "the distance and next-hop tables");
    requireFitsInMemory(
        checkedProduct(entries, 2 * sizeof(Entry), "the distance and next-hop tables"),
        "the distance and next-hop tables");
    // Filled a row at a time with a poll between rows: writing gigabytes of tables takes
    // seconds. Nothing in `results` changes until the relaxation is over, so an exception from
    // `poll` leaves them as they were.
    LargeVector<Entry> dist;
    LargeVector<Entry> nextHop;
    dist.reserve(entries);
    nextHop.reserve(entries);
    for (std::size_t p = 0; p < n; ++p) {
        dist.insert(dist.end(), n, Tables<Entry>::kUnreached);
        nextHop.insert(nextHop.end(), n, Tables<Entry>::kNoHop);
        dist[p * n + p] = 0;
        nextHop[p * n + p] = static_cast<Entry>(p);
        for (const Edge& edge : corridorsOf(nodes, static_cast<NodeId>(p))) {
            const std::uint64_t q = edge.neighbour;
            dist[p * n + q] = edge.length;
            nextHop[p * n + q] = static_cast<Entry>(q);
        }
        poll.tick(n / 16 + 1);
    }
    relaxAllPairs(dist, nextHop, n, poll);

    results.traversed.reserve(results.traversed.size() + n);
    for (const FloydWarshallNode& node : nodes) {
        results.traversed.push_back(node.position);
    }

    const std::uint64_t from = start;
    const std::uint64_t to = end;
    if (nextHop[from * n + to] == Tables<Entry>::kNoHop) {
        return;
    }
    results.distance = dist[from * n + to];
    results.path.push_back(nodes[from].position);
    // Every hop follows one edge and each route visits a node at most once, so at most n - 1
    // hops lead to the end; the bound only guards against a corrupted table.
    std::size_t hops = 0;
    for (std::uint64_t at = from; at != to;) {
        if (++hops >= n) {
            throw std::logic_error("next-hop table does not lead to the end node");
        }
        at = nextHop[at * n + to];
        extendPath(results.path, nodes[at].position);
    }
}

// True when 32-bit tables give the same outcome: every corridor length added together is below
// 2^30 and every node can be numbered below the no-hop mark.
bool fitsNarrowTables(const LargeVector<FloydWarshallNode>& nodes) {
    constexpr std::uint64_t kLengthLimit = std::uint64_t{1} << 30;
    if (nodes.size() >= Tables<std::uint32_t>::kNoHop) {
        return false;
    }
    std::uint64_t total = 0;
    for (NodeId id = 0; id < nodes.size(); ++id) {
        for (const Edge& edge : corridorsOf(nodes, id)) {
            total += edge.length;
            if (total >= kLengthLimit) {
                return false;
            }
        }
    }
    return true;
}

template void solveAllPairs<std::uint32_t>(const LargeVector<FloydWarshallNode>&, NodeId, NodeId,
                                           SolverResults&, CancellationPoll&);
template void solveAllPairs<std::uint64_t>(const LargeVector<FloydWarshallNode>&, NodeId, NodeId,
                                           SolverResults&, CancellationPoll&);

} // namespace corridex
