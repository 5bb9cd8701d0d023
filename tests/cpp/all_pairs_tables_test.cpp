#include "maze/corridor_graph.hpp"
#include "solvers/all_pairs_tables.hpp"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>

namespace corridex {
namespace {

// A grid open at random with probability `openShare`, its corners always open.
Grid randomGrid(std::mt19937& random, std::size_t side, double openShare) {
    std::bernoulli_distribution open(openShare);
    Grid grid;
    for (std::size_t r = 0; r < side; ++r) {
        std::uint8_t* cells = grid.appendRow(side);
        for (std::size_t c = 0; c < side; ++c) {
            cells[c] = open(random) ? 1 : 0;
        }
        if (r == 0) {
            cells[0] = 1;
        }
        if (r + 1 == side) {
            cells[side - 1] = 1;
        }
    }
    return grid;
}

template <class Entry>
SolverResults solveWith(const Grid& grid, const Index& start, const Index& end) {
    const auto graph = buildCorridorGraph<FloydWarshallNode>(grid, start, end);
    SolverResults results;
    CancellationPoll poll;
    solveAllPairs<Entry>(graph.nodes, graph.startNode, graph.endNode, results, poll);
    return results;
}

// The narrow tables are taken whenever every route fits; they must give what the wide ones give,
// down to which of two equally short routes is kept.
TEST(AllPairsTablesTest, NarrowAndWideEntriesGiveTheSameResults) {
    std::mt19937 random(2024);
    for (int round = 0; round < 60; ++round) {
        const std::size_t side = 2 + static_cast<std::size_t>(round % 19);
        const double openShare = round % 3 == 0 ? 0.9 : 0.65;
        const Grid grid = randomGrid(random, side, openShare);
        const Index start{0, 0};
        const Index end{side - 1, side - 1};
        const SolverResults narrow = solveWith<std::uint32_t>(grid, start, end);
        const SolverResults wide = solveWith<std::uint64_t>(grid, start, end);
        EXPECT_EQ(narrow.path, wide.path) << "round " << round;
        EXPECT_EQ(narrow.traversed, wide.traversed) << "round " << round;
        EXPECT_EQ(narrow.distance, wide.distance) << "round " << round;
    }
}

TEST(AllPairsTablesTest, NarrowTablesNeedShortCorridors) {
    const Grid grid{{true, true, true}, {true, false, true}, {true, true, true}};
    const auto graph = buildCorridorGraph<FloydWarshallNode>(grid, {0, 0}, {2, 2});
    EXPECT_TRUE(fitsNarrowTables(graph.nodes));

    // Two nodes joined by a corridor counted from both ends: 2^30 steps in all is too long.
    LargeVector<FloydWarshallNode> nodes(2);
    nodes[0].openSides = kRight;
    nodes[1].openSides = kLeft;
    const std::size_t half = std::size_t{1} << 29;
    nodes[1].position = NodePosition{0, half - 1};
    EXPECT_TRUE(fitsNarrowTables(nodes));
    nodes[1].position = NodePosition{0, half};
    EXPECT_FALSE(fitsNarrowTables(nodes));
}

} // namespace
} // namespace corridex
