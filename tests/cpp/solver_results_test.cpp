#include "grid_text.hpp"
#include "maze/solver_results.hpp"

#include <gtest/gtest.h>
#include <stdexcept>

namespace corridex {
namespace {

struct ExtendCase {
    const char* name;
    LargeVector<Index> before;
    Index target;
    LargeVector<Index> after;
};

class ExtendPathTest : public ::testing::TestWithParam<ExtendCase> {};

TEST_P(ExtendPathTest, FillsTheCorridorUpToTheTarget) {
    LargeVector<Index> path = GetParam().before;
    extendPath(path, GetParam().target);
    EXPECT_EQ(path, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtendPathTest,
    ::testing::Values(
        ExtendCase{"EmptyPathTakesTheTarget", {}, {4, 4}, {{4, 4}}},
        ExtendCase{"AdjacentTargetIsAppended", {{2, 2}}, {2, 3}, {{2, 2}, {2, 3}}},
        ExtendCase{"SameCellAppendsNothing", {{2, 2}}, {2, 2}, {{2, 2}}},
        ExtendCase{"WalksRightAlongARow", {{1, 0}}, {1, 3}, {{1, 0}, {1, 1}, {1, 2}, {1, 3}}},
        ExtendCase{"WalksLeftAlongARow", {{1, 3}}, {1, 1}, {{1, 3}, {1, 2}, {1, 1}}},
        ExtendCase{
            "WalksUpAColumn", {{5, 2}, {3, 2}}, {0, 2}, {{5, 2}, {3, 2}, {2, 2}, {1, 2}, {0, 2}}},
        ExtendCase{"WalksDownAColumn", {{0, 7}}, {2, 7}, {{0, 7}, {1, 7}, {2, 7}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExtendPathTest, RefusesCellsOnNoCommonLine) {
    LargeVector<Index> path{{0, 0}};
    EXPECT_THROW(extendPath(path, Index{2, 3}), std::logic_error);
    EXPECT_EQ(path.size(), 1U);
}

TEST(ReachedEndTest, ComparesTheLastRecordedPosition) {
    SolverResults results;
    results.traversed = {{0, 0}, {1, 1}};
    EXPECT_TRUE(reachedEnd(results, Index{1, 1}));
    EXPECT_FALSE(reachedEnd(results, Index{0, 0}));
}

struct ChainNode {
    Index position;
    NodeId parent;
};

TEST(TracePathTest, FollowsParentsFromTheEndAndFillsCorridors) {
    const std::vector<ChainNode> nodes = {{{0, 0}, kNoNode}, {{2, 3}, 2}, {{0, 3}, 0}};
    SolverResults results;
    CancellationPoll poll;
    tracePath(results, nodes, 1, poll);
    EXPECT_EQ(results.path, (LargeVector<Index>{{2, 3}, {1, 3}, {0, 3}, {0, 2}, {0, 1}, {0, 0}}));
}

} // namespace
} // namespace corridex
