#include "solvers/floyd_warshall.hpp"

#include "maze/corridor_graph.hpp"
#include "maze/memory_budget.hpp"

#include <stdexcept>
#include <vector>

namespace corridex {
namespace {

constexpr std::uint64_t kNoHop = UINT64_MAX;

// One row of the relaxation: dist[j] = min(dist[j], via[j] + toVia), taking hop on every strict
// improvement. Every entry is at most the unreached value 2^63 - 1 and toVia is below it, so a
// sum is below 2^64 and compares as an unsigned number; a sum of 2^63 or more never improves an
// entry, which lets the test be made on signed lanes. Built for AVX2 too, picked at load time.
__attribute__((target_clones("avx2", "default"))) void
relaxRow(std::uint64_t* __restrict dist, std::uint64_t* __restrict hops,
         const std::uint64_t* __restrict via, std::uint64_t toVia, std::uint64_t hop,
         std::size_t n) {
    auto improves = [&](std::size_t j) {
        const auto through = static_cast<std::int64_t>(via[j] + toVia);
        return through >= 0 && through < static_cast<std::int64_t>(dist[j]);
    };
    // Improvements grow rare as k rises, so each block of entries is first only compared, and
    // written only when something in it improves.
    constexpr std::size_t kBlock = 16;
    std::size_t j = 0;
    for (; j + kBlock <= n; j += kBlock) {
        bool any = false;
        for (std::size_t b = j; b < j + kBlock; ++b) {
            any |= improves(b);
        }
        if (!any) {
            continue;
        }
        for (std::size_t b = j; b < j + kBlock; ++b) {
            const bool better = improves(b);
            dist[b] = better ? via[b] + toVia : dist[b];
            hops[b] = better ? hop : hops[b];
        }
    }
    for (; j < n; ++j) {
        if (improves(j)) {
            dist[j] = via[j] + toVia;
            hops[j] = hop;
        }
    }
}

// dist[i][j] = min(dist[i][j], dist[i][k] + dist[k][j]) for k, i, j in that nesting, keeping
// nextHop[i][j] = nextHop[i][k] on every strict improvement. Rows whose dist[i][k] is unreached
// are skipped, and so is row k: a sum with the unreached value never improves an entry, and
// dist[k][k] is 0.
void relaxAllPairs(LargeVector<std::uint64_t>& dist, LargeVector<std::uint64_t>& nextHop,
                   std::size_t n, CancellationPoll& poll) {
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint64_t* viaRow = dist.data() + k * n;
        for (std::size_t i = 0; i < n; ++i) {
            std::uint64_t* distRow = dist.data() + i * n;
            const std::uint64_t toVia = distRow[k];
            if (toVia == kUnreached || i == k) {
                continue;
            }
            std::uint64_t* hopRow = nextHop.data() + i * n;
            relaxRow(distRow, hopRow, viaRow, toVia, hopRow[k], n);
            poll.tick(n / 16 + 1);
        }
    }
}

} // namespace

FloydWarshall::FloydWarshall(const Grid& grid, const Index& start, const Index& end)
    : SolverBase(buildCorridorGraph<FloydWarshallNode>(grid, start, end), start, end) {}

void FloydWarshall::solve(CancellationPoll poll) {
    requireBothEnds();
    auto& nodes = graph_.nodes;
    const std::size_t n = nodes.size();
    const std::uint64_t entries = checkedProduct(n, n, "the distance and next-hop tables");
    requireFitsInMemory(checkedProduct(entries, 16, "the distance and next-hop tables"),
                        "the distance and next-hop tables");

    for (std::size_t i = 0; i < n; ++i) {
        nodes[i].matrixIndex = i;
    }
    LargeVector<std::uint64_t> dist(entries, kUnreached);
    LargeVector<std::uint64_t> nextHop(entries, kNoHop);
    for (std::size_t p = 0; p < n; ++p) {
        dist[p * n + p] = 0;
        nextHop[p * n + p] = p;
        for (const Edge& edge : nodes[p].edges) {
            const std::uint64_t q = nodes[edge.neighbour].matrixIndex;
            dist[p * n + q] = edge.length;
            nextHop[p * n + q] = q;
        }
    }
    relaxAllPairs(dist, nextHop, n, poll);

    results_.traversed.reserve(results_.traversed.size() + n);
    for (const FloydWarshallNode& node : nodes) {
        results_.traversed.push_back(node.position);
    }

    const std::uint64_t from = nodes[graph_.startNode].matrixIndex;
    const std::uint64_t to = nodes[graph_.endNode].matrixIndex;
    if (nextHop[from * n + to] == kNoHop) {
        return;
    }
    results_.distance = dist[from * n + to];
    results_.path.push_back(nodes[from].position);
    // Every hop follows one edge and each route visits a node at most once, so at most n - 1
    // hops lead to the end; the bound only guards against a corrupted table.
    std::size_t hops = 0;
    for (std::uint64_t at = from; at != to;) {
        if (++hops >= n) {
            throw std::logic_error("next-hop table does not lead to the end node");
        }
        at = nextHop[at * n + to];
        extendPath(results_.path, nodes[at].position);
    }
}

std::uint64_t FloydWarshall::traversedNodesNo() const {
    const std::uint64_t count = results_.traversed.size();
    return count * count * count;
}

} // namespace corridex
