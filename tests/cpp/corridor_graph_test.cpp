#include "grid_text.hpp"
#include "maze/corridor_graph.hpp"
#include "maze/graph_nodes.hpp"

#include <gtest/gtest.h>
#include <string>
#include <type_traits>

namespace corridex {
namespace {

using testing::gridFromText;

struct Link {
    Index neighbour;
    std::uint64_t length;
    bool operator==(const Link& other) const {
        return neighbour == other.neighbour && length == other.length;
    }
};

void PrintTo(const Link& link, std::ostream* out) {
    *out << toString(link.neighbour) << " (" << link.length << ")";
}

template <class Node>
std::vector<Index> nodeCells(const MazeGraph<Node>& graph) {
    return testing::positionsOf(graph.nodes, [](const Node& node) { return node.position; });
}

template <class Node>
std::vector<Link> linksOf(const MazeGraph<Node>& graph, std::size_t node) {
    std::vector<Link> links;
    for (const Edge& edge : corridorsOf(graph.nodes, static_cast<NodeId>(node))) {
        links.push_back({graph[edge.neighbour].position, edge.length});
    }
    return links;
}

template <class Node>
NodeId nodeAt(const MazeGraph<Node>& graph, const Index& cell) {
    for (NodeId id = 0; id < graph.nodes.size(); ++id) {
        if (graph[id].position == cell) {
            return id;
        }
    }
    return kNoNode;
}

// Every link is stored at both ends with one length, and joins cells on one row or column.
template <class Node>
void expectSymmetricStraightLinks(const MazeGraph<Node>& graph) {
    for (NodeId id = 0; id < graph.nodes.size(); ++id) {
        const Node& node = graph[id];
        for (const Edge& edge : corridorsOf(graph.nodes, id)) {
            const Node& other = graph[edge.neighbour];
            EXPECT_TRUE(node.position.row == other.position.row ||
                        node.position.col == other.position.col);
            EXPECT_EQ(edge.length, manhattanDistance(node.position, other.position));
            int back = 0;
            for (const Edge& reverse : corridorsOf(graph.nodes, edge.neighbour)) {
                back += reverse.neighbour == id && reverse.length == edge.length ? 1 : 0;
            }
            EXPECT_EQ(back, 1) << toString(node.position) << " -> " << toString(other.position);
        }
    }
}

const std::vector<std::string> kRing = {"...", ".#.", "..."};

TEST(CorridorGraphTest, RingKeepsOnlyCornersWithLinksLeftUpRightDown) {
    const auto graph = buildCorridorGraph<DepthFirstNode>(gridFromText(kRing), {0, 0}, {2, 2});
    EXPECT_EQ(nodeCells(graph), (std::vector<Index>{{0, 0}, {0, 2}, {2, 0}, {2, 2}}));
    EXPECT_EQ(linksOf(graph, 0), (std::vector<Link>{{{0, 2}, 2}, {{2, 0}, 2}}));
    EXPECT_EQ(linksOf(graph, 1), (std::vector<Link>{{{0, 0}, 2}, {{2, 2}, 2}}));
    EXPECT_EQ(linksOf(graph, 2), (std::vector<Link>{{{0, 0}, 2}, {{2, 2}, 2}}));
    EXPECT_EQ(linksOf(graph, 3), (std::vector<Link>{{{2, 0}, 2}, {{0, 2}, 2}}));
    EXPECT_EQ(graph.startNode, 0U);
    EXPECT_EQ(graph.endNode, 3U);
}

TEST(CorridorGraphTest, StartInsideACorridorSplitsIt) {
    const auto graph = buildCorridorGraph<DepthFirstNode>(gridFromText(kRing), {0, 1}, {2, 2});
    EXPECT_EQ(nodeCells(graph), (std::vector<Index>{{0, 0}, {0, 1}, {0, 2}, {2, 0}, {2, 2}}));
    EXPECT_EQ(linksOf(graph, 1), (std::vector<Link>{{{0, 0}, 1}, {{0, 2}, 1}}));
    EXPECT_EQ(graph[graph.startNode].position, (Index{0, 1}));
}

TEST(CorridorGraphTest, StraightRowBecomesOneEdge) {
    const auto graph = buildCorridorGraph<DepthFirstNode>(gridFromText({"...."}), {0, 0}, {0, 3});
    EXPECT_EQ(nodeCells(graph), (std::vector<Index>{{0, 0}, {0, 3}}));
    EXPECT_EQ(linksOf(graph, 0), (std::vector<Link>{{{0, 3}, 3}}));
}

// A start cell in the middle of a 5 x 5 grid with an arm of two cells towards each side in
// `openArms` (bits left, up, right, down): its corridors must be the open arms, in that order.
class CorridorOrderTest : public ::testing::TestWithParam<unsigned> {};

TEST_P(CorridorOrderTest, ListsOpenArmsLeftUpRightDown) {
    const unsigned openArms = GetParam();
    std::vector<std::string> rows(5, "#####");
    rows[2][2] = '.';
    const Index armEnds[4] = {{2, 0}, {0, 2}, {2, 4}, {4, 2}};
    std::vector<Link> expected;
    for (unsigned arm = 0; arm < 4; ++arm) {
        if ((openArms >> arm & 1U) == 0) {
            continue;
        }
        const Index end = armEnds[arm];
        rows[end.row][end.col] = '.';
        rows[(end.row + 2) / 2][(end.col + 2) / 2] = '.';
        expected.push_back({end, 2});
    }
    const auto graph = buildCorridorGraph<DistanceNode>(gridFromText(rows), {2, 2}, {2, 2});
    ASSERT_NE(graph.startNode, kNoNode);
    EXPECT_EQ(linksOf(graph, graph.startNode), expected);
    expectSymmetricStraightLinks(graph);

    // Skipping one far end leaves the others in order; naming no node skips none.
    for (std::size_t skipped = 0; skipped <= expected.size(); ++skipped) {
        NodeId skip = kNoNode;
        std::vector<Link> rest;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (i == skipped) {
                skip = nodeAt(graph, expected[i].neighbour);
            } else {
                rest.push_back(expected[i]);
            }
        }
        std::vector<Link> visited;
        forEachCorridor(graph.nodes, graph.startNode, skip, [&](const Edge& edge) {
            visited.push_back({graph[edge.neighbour].position, edge.length});
        });
        EXPECT_EQ(visited, rest) << "skipping link " << skipped;
    }
}

INSTANTIATE_TEST_SUITE_P(EverySetOfArms, CorridorOrderTest, ::testing::Range(0U, 16U));

TEST(CorridorGraphTest, OpenSquareMakesEveryCellANode) {
    const auto graph =
        buildCorridorGraph<DepthFirstNode>(gridFromText({"...", "...", "..."}), {0, 0}, {2, 2});
    ASSERT_EQ(graph.nodes.size(), 9U);
    EXPECT_EQ(linksOf(graph, 4),
              (std::vector<Link>{{{1, 0}, 1}, {{0, 1}, 1}, {{1, 2}, 1}, {{2, 1}, 1}}));
    expectSymmetricStraightLinks(graph);
}

TEST(CorridorGraphTest, IsolatedOpenCellIsANodeOnlyAsAnEnd) {
    const Grid grid = gridFromText({".#.", "###"});
    const auto plain = buildCorridorGraph<DepthFirstNode>(grid, {5, 5}, {6, 6});
    EXPECT_TRUE(plain.nodes.empty());
    EXPECT_EQ(plain.startNode, kNoNode);
    EXPECT_EQ(plain.endNode, kNoNode);
    const auto asEnds = buildCorridorGraph<DepthFirstNode>(grid, {0, 2}, {0, 2});
    ASSERT_EQ(asEnds.nodes.size(), 1U);
    EXPECT_TRUE(corridorsOf(asEnds.nodes, 0).empty());
    EXPECT_EQ(asEnds.startNode, asEnds.endNode);
}

TEST(CorridorGraphTest, EndsOnWallsOrOutsideStayEmptyAndTheRestIsBuilt) {
    const auto graph =
        buildCorridorGraph<DepthFirstNode>(gridFromText(kRing), {1, 1}, {UINT64_MAX, 0});
    EXPECT_EQ(graph.startNode, kNoNode);
    EXPECT_EQ(graph.endNode, kNoNode);
    EXPECT_EQ(graph.nodes.size(), 4U);
}

TEST(CorridorGraphTest, EmptyGridGivesEmptyGraph) {
    const auto graph = buildCorridorGraph<DepthFirstNode>(Grid{}, {0, 0}, {0, 0});
    EXPECT_TRUE(graph.nodes.empty());
    EXPECT_EQ(graph.startNode, kNoNode);
}

TEST(CorridorGraphTest, EmptyFirstRowLeavesNothingToRead) {
    const auto graph =
        buildCorridorGraph<DepthFirstNode>(gridFromText({"", "..", "."}), {1, 0}, {1, 1});
    EXPECT_TRUE(graph.nodes.empty());
    EXPECT_EQ(graph.startNode, kNoNode);
}

TEST(CorridorGraphTest, SingleColumnAndSingleCellGrids) {
    const auto column = buildCorridorGraph<DepthFirstNode>(gridFromText({".", ".", ".", "#", "."}),
                                                           {0, 0}, {4, 0});
    EXPECT_EQ(nodeCells(column), (std::vector<Index>{{0, 0}, {2, 0}, {4, 0}}));
    EXPECT_EQ(linksOf(column, 0), (std::vector<Link>{{{2, 0}, 2}}));
    const auto single = buildCorridorGraph<DepthFirstNode>(gridFromText({"."}), {0, 0}, {0, 0});
    EXPECT_EQ(nodeCells(single), (std::vector<Index>{{0, 0}}));
}

TEST(CorridorGraphTest, LongerLaterRowIsReadOnlyToTheFirstRowsLength) {
    const auto graph =
        buildCorridorGraph<DepthFirstNode>(gridFromText({"..", "...."}), {0, 0}, {1, 3});
    EXPECT_EQ(nodeCells(graph), (std::vector<Index>{{0, 0}, {0, 1}, {1, 0}, {1, 1}}));
    EXPECT_EQ(graph.endNode, kNoNode);
}

TEST(CorridorGraphTest, ShorterLaterRowTreatsMissingCellsAsWalls) {
    const auto graph =
        buildCorridorGraph<DepthFirstNode>(gridFromText({"...", ".", "..."}), {0, 0}, {2, 2});
    EXPECT_EQ(nodeCells(graph), (std::vector<Index>{{0, 0}, {0, 2}, {2, 0}, {2, 2}}));
    EXPECT_EQ(linksOf(graph, 0), (std::vector<Link>{{{0, 2}, 2}, {{2, 0}, 2}}));
    EXPECT_TRUE(linksOf(graph, 1) == (std::vector<Link>{{{0, 0}, 2}}));
    expectSymmetricStraightLinks(graph);
}

template <class Node>
class CorridorRecordTest : public ::testing::Test {};
using CorridorRecords =
    ::testing::Types<DepthFirstNode, DistanceNode, AStarNode, FloydWarshallNode>;

struct RecordNames {
    template <class Node>
    static std::string GetName(int) {
        if constexpr (std::is_same_v<Node, DepthFirstNode>) {
            return "DepthFirstNode";
        } else if constexpr (std::is_same_v<Node, DistanceNode>) {
            return "DistanceNode";
        } else if constexpr (std::is_same_v<Node, AStarNode>) {
            return "AStarNode";
        } else {
            return "FloydWarshallNode";
        }
    }
};
TYPED_TEST_SUITE(CorridorRecordTest, CorridorRecords, RecordNames);

TYPED_TEST(CorridorRecordTest, EveryRecordGetsTheSameGraphWithFreshSearchFields) {
    const Grid grid = gridFromText({".....", ".#.#.", "...#.", "#...."});
    const auto graph = buildCorridorGraph<TypeParam>(grid, {0, 0}, {3, 4});
    const auto reference = buildCorridorGraph<DepthFirstNode>(grid, {0, 0}, {3, 4});
    ASSERT_EQ(nodeCells(graph), nodeCells(reference));
    for (std::size_t i = 0; i < graph.nodes.size(); ++i) {
        EXPECT_EQ(linksOf(graph, i), linksOf(reference, i));
        if constexpr (!std::is_same_v<TypeParam, FloydWarshallNode>) { // it keeps no search mark
            EXPECT_FALSE(graph.nodes[i].visited);
        }
    }
    expectSymmetricStraightLinks(graph);
}

TEST(CorridorRecordTest, DistanceFieldsStartUnreached) {
    const auto graph = buildCorridorGraph<AStarNode>(gridFromText(kRing), {0, 0}, {2, 2});
    for (const AStarNode& node : graph.nodes) {
        EXPECT_EQ(node.estimatedDistance, 0x7FFFFFFFFFFFFFFFULL);
        EXPECT_EQ(node.parent, kNoNode);
    }
}

} // namespace
} // namespace corridex
