#include "maze/grid.hpp"
#include "maze/index.hpp"

#include <gtest/gtest.h>

namespace corridex {
namespace {

TEST(GridTest, RaggedRowsKeepTheirOwnLengthsAndTheFirstGivesTheWidth) {
    const Grid grid{{true, false, true}, {true}, {false, true, true, true}};
    EXPECT_EQ(grid.rowCount(), 3U);
    EXPECT_EQ(grid.width(), 3U);
    EXPECT_EQ(grid.rowLength(1), 1U);
    EXPECT_EQ(grid.rowLength(2), 4U);
    EXPECT_EQ(grid.rowOffset(2), 4U);
    EXPECT_TRUE(grid.isOpen(2, 3));
    EXPECT_FALSE(grid.isOpen(1, 1)) << "a cell beyond its row's length is a wall";
    EXPECT_FALSE(grid.isOpen(3, 0)) << "a row beyond the grid is a wall";
}

TEST(GridTest, EmptyGridHasNoWidth) {
    const Grid grid;
    EXPECT_EQ(grid.rowCount(), 0U);
    EXPECT_EQ(grid.width(), 0U);
    EXPECT_FALSE(grid.isOpen(0, 0));
}

TEST(IndexTest, ManhattanDistanceAndTextHandleTheFullUnsignedRange) {
    const Index far{UINT64_MAX, 0};
    EXPECT_EQ(manhattanDistance(far, Index{UINT64_MAX - 2, 0}), 2U);
    EXPECT_EQ(manhattanDistance(Index{1, 5}, Index{4, 2}), 6U);
    EXPECT_EQ(toString(far), "18446744073709551615,0");
    EXPECT_EQ(toString(Index{3, 14}), "3,14");
}

} // namespace
} // namespace corridex
