#include "grid_text.hpp"
#include "maze/corridor_graph.hpp"
#include "solver_types.hpp"

#include <gtest/gtest.h>
#include <random>
#include <stdexcept>

namespace corridex {
namespace {

using testing::gridFromText;

// Rows 0-2 of an eight-column grid with two loops: best-first searches part ways here.
const std::vector<std::string> kTwoLoops = {"........", ".#....#.", ".#......"};

template <class Solver>
class EverySolverTest : public ::testing::Test {};
TYPED_TEST_SUITE(EverySolverTest, testing::AllSolvers, testing::SolverNames);

TYPED_TEST(EverySolverTest, MissingEndsAreRejectedByNameAndNothingIsRecorded) {
    const Grid grid = gridFromText(kTwoLoops);
    struct Missing {
        Index start;
        Index end;
        const char* message;
    };
    for (const Missing& missing :
         {Missing{{1, 1}, {0, 0}, "start 1,1 is not an open cell of the grid"},
          Missing{{0, 0}, {3, 0}, "end 3,0 is not an open cell of the grid"}}) {
        TypeParam solver(grid, missing.start, missing.end);
        try {
            solver.solve();
            ADD_FAILURE() << "expected std::invalid_argument";
        } catch (const std::invalid_argument& error) {
            EXPECT_STREQ(error.what(), missing.message);
        }
        checks::Solves solves;
        ASSERT_NO_THROW(solves =
                            checks::solveChecked<TypeParam>(grid, missing.start, missing.end));
        EXPECT_TRUE(solves.fresh.rejected);
    }
}

// FloydWarshall's second solve() appends a second copy of its results; the others' change
// nothing.
TYPED_TEST(EverySolverTest, SecondSolveRepeatsOrAppendsTheFirst) {
    EXPECT_NO_THROW(checks::solveChecked<TypeParam>(gridFromText(kTwoLoops), {1, 7}, {2, 0}));
    EXPECT_NO_THROW(checks::solveChecked<TypeParam>(gridFromText({"....."}), {0, 0}, {0, 4}));
}

template <class Solver>
SolverResults solved(const std::vector<std::string>& rows, const Index& start, const Index& end) {
    Solver solver(gridFromText(rows), start, end);
    solver.solve();
    return solver.results();
}

struct TieCase {
    const char* name;
    SolverResults (*solve)(const std::vector<std::string>&, const Index&, const Index&);
    Index start;
    Index end;
    LargeVector<Index> path;
};

void PrintTo(const TieCase& tie, std::ostream* out) {
    *out << tie.name;
}

// Which of two equally short routes across the open 2 x 2 square each solver reports: the
// searches over corridors keep the parent that first gave a node its distance (an equal distance
// changes nothing), FloydWarshall the route its loop order finds first, and BreadthFirstSearch
// the cell it discovered first.
class TieRuleTest : public ::testing::TestWithParam<TieCase> {};

TEST_P(TieRuleTest, ReportsTheRouteItsOrderFindsFirst) {
    const TieCase& tie = GetParam();
    EXPECT_EQ(tie.solve({"..", ".."}, tie.start, tie.end).path, tie.path);
}

const TieCase kTieCases[] = {
    {"DepthFirstSearch", solved<DepthFirstSearch>, {0, 0}, {1, 1}, {{1, 1}, {1, 0}, {0, 0}}},
    {"BreadthFirstSearch", solved<BreadthFirstSearch>, {0, 0}, {1, 1}, {{1, 1}, {1, 0}, {0, 0}}},
    {"DijkstraAlgorithm", solved<DijkstraAlgorithm>, {0, 0}, {1, 1}, {{1, 1}, {0, 1}, {0, 0}}},
    {"AStar", solved<AStar>, {0, 0}, {1, 1}, {{1, 1}, {0, 1}, {0, 0}}},
    {"BellmanFord", solved<BellmanFord>, {0, 0}, {1, 1}, {{1, 1}, {0, 1}, {0, 0}}},
    {"FloydWarshall", solved<FloydWarshall>, {0, 0}, {1, 1}, {{0, 0}, {0, 1}, {1, 1}}},
    {"FloydWarshallBackwards", solved<FloydWarshall>, {1, 1}, {0, 0}, {{1, 1}, {0, 1}, {0, 0}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, TieRuleTest, ::testing::ValuesIn(kTieCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BreadthFirstSearchTest, ReachesNeighboursUpDownLeftRight) {
    const SolverResults results =
        solved<BreadthFirstSearch>({"#.#", "...", "#.#"}, {1, 1}, {1, 2});
    EXPECT_EQ(results.traversed, (LargeVector<Index>{{1, 1}, {0, 1}, {2, 1}, {1, 0}, {1, 2}}));
    EXPECT_EQ(results.path, (LargeVector<Index>{{1, 2}, {1, 1}}));
}

TEST(BellmanFordTest, CountsOnlyImprovementsAndNeverTheStart) {
    BellmanFord solver(gridFromText({"..", "#."}), Index{1, 1}, Index{0, 0});
    solver.solve();
    EXPECT_EQ(solver.results().traversed, (LargeVector<Index>{{0, 1}, {0, 0}}));
    EXPECT_EQ(solver.results().path, (LargeVector<Index>{{0, 0}, {0, 1}, {1, 1}}));
    EXPECT_EQ(solver.results().distance, 2U);
}

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
