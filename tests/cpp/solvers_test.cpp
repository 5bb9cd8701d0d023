#include "grid_text.hpp"
#include "maze/corridor_graph.hpp"
#include "solvers/a_star.hpp"
#include "solvers/bellman_ford.hpp"
#include "solvers/breadth_first_search.hpp"
#include "solvers/depth_first_search.hpp"
#include "solvers/dijkstra_algorithm.hpp"
#include "solvers/floyd_warshall.hpp"
#include "type_names.hpp"

#include <gtest/gtest.h>
#include <random>
#include <stdexcept>

namespace corridex {
namespace {

using testing::gridFromText;

// Rows 0-2 of an eight-column grid with two loops: best-first searches part ways here.
const std::vector<std::string> kTwoLoops = {"........", ".#....#.", ".#......"};

struct Interrupted : std::runtime_error {
    Interrupted() : std::runtime_error("interrupted") {}
};

// Abandons the work at its first poll, which comes after a few units of work.
CancellationPoll throwingPoll() {
    return CancellationPoll([] { throw Interrupted(); }, 8);
}

template <class Solver>
class EverySolverTest : public ::testing::Test {};
using Solvers = ::testing::Types<DepthFirstSearch, BreadthFirstSearch, DijkstraAlgorithm, AStar,
                                 BellmanFord, FloydWarshall>;
TYPED_TEST_SUITE(EverySolverTest, Solvers, testing::TypeNames);

TYPED_TEST(EverySolverTest, MissingEndsAreRejectedAndNothingIsRecorded) {
    const Grid grid = gridFromText(kTwoLoops);
    TypeParam onWall(grid, Index{1, 1}, Index{0, 0});
    try {
        onWall.solve();
        FAIL() << "expected std::invalid_argument";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "start 1,1 is not an open cell of the grid");
    }
    TypeParam outside(grid, Index{0, 0}, Index{3, 0});
    EXPECT_THROW(outside.solve(), std::invalid_argument);
    EXPECT_TRUE(outside.results().traversed.empty());
    EXPECT_TRUE(outside.results().path.empty());
}

TYPED_TEST(EverySolverTest, SolveAbandonedByThePollStartsOverNextTime) {
    // A long single corridor with many nodes, so the poll fires during the search.
    std::vector<std::string> rows;
    rows.reserve(300);
    for (int r = 0; r < 300; ++r) {
        rows.push_back(
            r % 2 == 0 ? std::string(300, '.')
                       : (r % 4 == 1 ? std::string(299, '#') + "." : "." + std::string(299, '#')));
    }
    const Grid grid = gridFromText(rows);
    const Index start{0, 0};
    const Index end{298, 299};
    TypeParam reference(grid, start, end);
    if constexpr (std::is_same_v<TypeParam, FloydWarshall>) {
        return; // covered by its own test: its tables for this maze would be large
    } else {
        reference.solve();
        TypeParam interrupted(grid, start, end);
        EXPECT_THROW(interrupted.solve(throwingPoll()), Interrupted);
        interrupted.solve();
        EXPECT_EQ(interrupted.results().traversed, reference.results().traversed);
        EXPECT_EQ(interrupted.results().path, reference.results().path);
        EXPECT_EQ(interrupted.results().distance, reference.results().distance);
    }
}

template <class Solver>
class EndReconstructingSolverTest : public ::testing::Test {};
using EndReconstructing =
    ::testing::Types<DepthFirstSearch, BreadthFirstSearch, DijkstraAlgorithm, AStar, BellmanFord>;
TYPED_TEST_SUITE(EndReconstructingSolverTest, EndReconstructing, testing::TypeNames);

TYPED_TEST(EndReconstructingSolverTest, SecondSolveChangesNothing) {
    TypeParam solver(gridFromText(kTwoLoops), Index{1, 7}, Index{2, 0});
    solver.solve();
    const SolverResults first = solver.results();
    solver.solve();
    EXPECT_EQ(solver.results().path, first.path);
    EXPECT_EQ(solver.results().traversed, first.traversed);
    EXPECT_EQ(solver.results().distance, first.distance);
}

TEST(FloydWarshallTest, SecondSolveAppendsASecondRecordAndRoute) {
    FloydWarshall solver(gridFromText({"....."}), Index{0, 0}, Index{0, 4});
    solver.solve();
    EXPECT_EQ(solver.traversedNodesNo(), 8U);
    solver.solve();
    EXPECT_EQ(solver.traversedNodesNo(), 64U);
    const LargeVector<Index> once = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}};
    LargeVector<Index> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(solver.results().path, twice);
    EXPECT_EQ(solver.results().distance, 4U);
}

TEST(FloydWarshallTest, InterruptedSolveLeavesTheResultsUntouched) {
    std::vector<std::string> rows(40, std::string(40, '.'));
    FloydWarshall solver(gridFromText(rows), Index{0, 0}, Index{39, 39});
    EXPECT_THROW(solver.solve(throwingPoll()), Interrupted);
    EXPECT_TRUE(solver.results().traversed.empty());
    solver.solve();
    EXPECT_EQ(solver.results().distance, 78U);
    EXPECT_EQ(solver.results().traversed.size(), 1600U);
}

TEST(FloydWarshallTest, RefusesTablesLargerThanMemoryBeforeAllocating) {
    // Every cell of an open square is a node: 1200 x 1200 nodes need 16 * 2.1e12 bytes.
    std::vector<std::string> rows(1200, std::string(1200, '.'));
    FloydWarshall solver(gridFromText(rows), Index{0, 0}, Index{1, 1});
    EXPECT_THROW(solver.solve(), std::bad_alloc);
    EXPECT_TRUE(solver.results().traversed.empty());
}

TEST(BellmanFordTest, CountsOnlyImprovementsAndNeverTheStart) {
    BellmanFord solver(gridFromText({"..", "#."}), Index{1, 1}, Index{0, 0});
    solver.solve();
    EXPECT_EQ(solver.results().traversed, (LargeVector<Index>{{0, 1}, {0, 0}}));
    EXPECT_EQ(solver.results().path, (LargeVector<Index>{{0, 0}, {0, 1}, {1, 1}}));
    EXPECT_EQ(solver.results().distance, 2U);
}

} // namespace
} // namespace corridex

namespace corridex {
namespace {

// Passes over every node and every edge, as the textbook algorithm runs them.
LargeVector<Index> fullSweepImprovements(MazeGraph<DistanceNode>& graph) {
    LargeVector<Index> improvements;
    graph[graph.startNode].startDistance = 0;
    const std::size_t limit = graph.nodes.size() - 1;
    for (std::size_t passes = 0; passes < limit; ++passes) {
        bool changed = false;
        for (NodeId id = 0; id < graph.nodes.size(); ++id) {
            for (const Edge& edge : corridorsOf(graph.nodes, id)) {
                DistanceNode& neighbour = graph[edge.neighbour];
                const std::uint64_t distance = graph[id].startDistance + edge.length;
                if (distance < neighbour.startDistance) {
                    neighbour.startDistance = distance;
                    neighbour.parent = id;
                    improvements.push_back(neighbour.position);
                    changed = true;
                }
            }
        }
        if (!changed) {
            break;
        }
    }
    return improvements;
}

TEST(BellmanFordTest, SkippingSettledNodesMatchesFullSweeps) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        const std::size_t rows = 1 + random() % 30;
        const std::size_t cols = 1 + random() % 30;
        const std::size_t openPercent = 50 + random() % 45;
        std::vector<std::string> text(rows, std::string(cols, '#'));
        for (std::string& row : text) {
            for (char& cell : row) {
                cell = random() % 100 < openPercent ? '.' : '#';
            }
        }
        const Grid grid = testing::gridFromText(text);
        const Index start{random() % rows, random() % cols};
        const Index end{random() % rows, random() % cols};
        if (!grid.isOpen(start.row, start.col) || !grid.isOpen(end.row, end.col)) {
            continue;
        }
        BellmanFord solver(grid, start, end);
        solver.solve();
        auto reference = buildCorridorGraph<DistanceNode>(grid, start, end);
        EXPECT_EQ(solver.results().traversed, fullSweepImprovements(reference));
        for (std::size_t i = 0; i < reference.nodes.size(); ++i) {
            ASSERT_EQ(solver.graph().nodes[i].startDistance, reference.nodes[i].startDistance);
            ASSERT_EQ(solver.graph().nodes[i].parent, reference.nodes[i].parent);
        }
    }
}

} // namespace
} // namespace corridex
