#include "grid_text.hpp"
#include "maze/cell_graph.hpp"
#include "maze/graph_nodes.hpp"

#include <gtest/gtest.h>

namespace corridex {
namespace {

using testing::gridFromText;

std::vector<Index> neighbourCells(const MazeGraph<BreadthFirstNode>& graph,
                                  const BreadthFirstNode& node) {
    const auto self = static_cast<NodeId>(&node - graph.nodes.data());
    return testing::positionsOf(node.neighbours(self),
                                [&](NodeId other) { return graph[other].position; });
}

const BreadthFirstNode& nodeAt(const MazeGraph<BreadthFirstNode>& graph, Index cell) {
    const std::int64_t at = findNode(graph.nodes, cell);
    EXPECT_GE(at, 0) << toString(cell);
    return graph.nodes[static_cast<std::size_t>(at)];
}

TEST(CellGraphTest, RingLinksEachCellUpDownLeftRight) {
    const auto graph =
        buildCellGraph<BreadthFirstNode>(gridFromText({"...", ".#.", "..."}), {0, 0}, {2, 2});
    EXPECT_EQ(
        testing::positionsOf(graph.nodes, [](const auto& n) { return n.position; }),
        (std::vector<Index>{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 2}, {2, 0}, {2, 1}, {2, 2}}));
    EXPECT_EQ(neighbourCells(graph, nodeAt(graph, {0, 1})), (std::vector<Index>{{0, 0}, {0, 2}}));
    EXPECT_EQ(neighbourCells(graph, nodeAt(graph, {1, 0})), (std::vector<Index>{{0, 0}, {2, 0}}));
    EXPECT_EQ(graph[graph.startNode].position, (Index{0, 0}));
    EXPECT_EQ(graph[graph.endNode].position, (Index{2, 2}));
}

TEST(CellGraphTest, OpenCrossOrdersNeighboursUpDownLeftRight) {
    const auto graph =
        buildCellGraph<BreadthFirstNode>(gridFromText({"...", "...", "..."}), {1, 1}, {1, 1});
    EXPECT_EQ(neighbourCells(graph, graph[graph.startNode]),
              (std::vector<Index>{{0, 1}, {2, 1}, {1, 0}, {1, 2}}));
    EXPECT_EQ(graph.startNode, graph.endNode);
}

TEST(CellGraphTest, LongerLaterRowLinksOneWayBeyondTheFirstRowsWidth) {
    const auto graph =
        buildCellGraph<BreadthFirstNode>(gridFromText({"..", "...."}), {0, 0}, {1, 3});
    EXPECT_EQ(graph.nodes.size(), 6U);
    EXPECT_EQ(graph[graph.endNode].position, (Index{1, 3}));
    EXPECT_EQ(neighbourCells(graph, nodeAt(graph, {1, 1})), (std::vector<Index>{{0, 1}, {1, 0}}));
    EXPECT_EQ(neighbourCells(graph, nodeAt(graph, {1, 2})), (std::vector<Index>{{1, 1}}));
    EXPECT_EQ(neighbourCells(graph, nodeAt(graph, {1, 3})), (std::vector<Index>{{1, 2}}));
}

TEST(CellGraphTest, ShorterRowsLeaveNoLinksIntoMissingCells) {
    const auto graph =
        buildCellGraph<BreadthFirstNode>(gridFromText({"...", ".", "..."}), {0, 2}, {2, 2});
    EXPECT_EQ(neighbourCells(graph, nodeAt(graph, {0, 2})), (std::vector<Index>{{0, 1}}));
    EXPECT_EQ(neighbourCells(graph, nodeAt(graph, {1, 0})), (std::vector<Index>{{0, 0}, {2, 0}}));
}

TEST(CellGraphTest, MissingEndsStayEmpty) {
    const auto graph =
        buildCellGraph<BreadthFirstNode>(gridFromText({".#."}), {0, 1}, {UINT64_MAX, UINT64_MAX});
    EXPECT_EQ(graph.startNode, kNoNode);
    EXPECT_EQ(graph.endNode, kNoNode);
    EXPECT_EQ(graph.nodes.size(), 2U);
    const auto empty = buildCellGraph<BreadthFirstNode>(Grid{}, {0, 0}, {0, 0});
    EXPECT_TRUE(empty.nodes.empty());
}

TEST(FindNodeTest, FindsEveryNodeAndNothingElse) {
    const Grid grid = gridFromText({"#.#..", ".....", "..#.#"});
    const auto graph = buildCellGraph<BreadthFirstNode>(grid, {0, 1}, {0, 1});
    for (std::size_t r = 0; r < 4; ++r) {
        for (std::size_t c = 0; c < 6; ++c) {
            const std::int64_t at = findNode(graph.nodes, Index{r, c});
            if (grid.isOpen(r, c)) {
                ASSERT_GE(at, 0);
                EXPECT_EQ(graph.nodes[static_cast<std::size_t>(at)].position, (Index{r, c}));
            } else {
                EXPECT_EQ(at, -1);
            }
        }
    }
}

} // namespace
} // namespace corridex
