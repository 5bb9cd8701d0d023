#pragma once

#include "maze/graph_nodes.hpp"
#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "maze/maze_graph.hpp"
#include "system/memory_budget.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace corridex {

// Position in `nodes` of the node of `cell`, found by binary search over the row-major store,
// or -1 when the cell has no node.
template <class Nodes>
std::int64_t findNode(const Nodes& nodes, const Index& cell) {
    std::int64_t lo = 0;
    std::int64_t hi = static_cast<std::int64_t>(nodes.size()) - 1;
    while (lo <= hi) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        const Index at = nodes[static_cast<std::size_t>(mid)].position;
        if (at == cell) {
            return mid;
        }
        if (at.row < cell.row || (at.row == cell.row && at.col < cell.col)) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return -1;
}

namespace detail {

// rank[k] = the number of open cells before column k of a row of `length` cells, for k below
// `padded` (at least `length`).
inline void rankOpenCells(const std::uint8_t* cells, std::size_t length, std::size_t padded,
                          std::vector<NodeId>& rank) {
    rank.resize(padded);
    NodeId count = 0;
    for (std::size_t k = 0; k < padded; ++k) {
        rank[k] = count;
        count += k < length ? cells[k] : 0U;
    }
}

} // namespace detail

// Builds the cell graph: a node for every open cell (each row read with its own length) and a
// link to each open cell beside it, in the order up, down, left, right. Right-hand cells are
// tried only while col + 1 is below the first row's length. Cost: linear in the grid's cells.
template <class Node>
MazeGraph<Node> buildCellGraph(const Grid& grid, const Index& start, const Index& end) {
    MazeGraph<Node> graph;
    const std::size_t rows = grid.rowCount();
    const std::size_t width = grid.width();

    // The store is row-major, so the node of an open cell is the count of open cells before it;
    // firstInRow holds that count at the start of each row.
    std::vector<std::size_t> firstInRow(rows, 0);
    std::size_t openCells = 0;
    std::size_t longestRow = 0;
    for (std::size_t i = 0; i < rows; ++i) {
        firstInRow[i] = openCells;
        longestRow = std::max(longestRow, grid.rowLength(i));
        const std::uint8_t* cells = grid.row(i);
        for (std::size_t k = 0; k < grid.rowLength(i); ++k) {
            openCells += cells[k] != 0 ? 1 : 0;
        }
    }
    requireNumberable(rows, longestRow, openCells);
    if (openCells == 0) {
        return graph;
    }
    requireFitsInMemory(checkedProduct(openCells, sizeof(Node), "the maze graph"),
                        "the maze graph");
    // Nodes are appended in row-major order, so each is written once and its id is its place.
    graph.nodes.reserve(openCells);

    // The node of an open cell in the row above or below is that row's first node plus the
    // cell's rank in its row, so each row is walked only at its own open cells. Ranks cover the
    // longest row, so that they can be read before knowing whether the cell is open.
    std::vector<NodeId> rankAbove(longestRow, 0);
    std::vector<NodeId> rankHere;
    std::vector<NodeId> rankBelow;
    std::vector<std::uint32_t> openColumns(longestRow);
    if (rows > 0) {
        detail::rankOpenCells(grid.row(0), grid.rowLength(0), longestRow, rankHere);
    }
    for (std::size_t i = 0; i < rows; ++i) {
        const std::uint8_t* cells = grid.row(i);
        const std::size_t length = grid.rowLength(i);
        const std::uint8_t* above = i > 0 ? grid.row(i - 1) : nullptr;
        const std::size_t aboveLength = i > 0 ? grid.rowLength(i - 1) : 0;
        const std::uint8_t* below = i + 1 < rows ? grid.row(i + 1) : nullptr;
        const std::size_t belowLength = i + 1 < rows ? grid.rowLength(i + 1) : 0;
        detail::rankOpenCells(below, belowLength, longestRow, rankBelow);
        const auto aboveFirst = static_cast<NodeId>(i > 0 ? firstInRow[i - 1] : 0);
        const auto belowFirst = static_cast<NodeId>(i + 1 < rows ? firstInRow[i + 1] : 0);
        // Which cells are open, and which of their sides, follows no pattern a processor
        // predicts, so the open columns are gathered and each node's links set without a branch.
        std::size_t count = 0;
        for (std::size_t k = 0; k < length; ++k) {
            openColumns[count] = static_cast<std::uint32_t>(k);
            count += cells[k];
        }
        for (std::size_t n = 0; n < count; ++n) {
            const std::size_t k = openColumns[n];
            Node& node = graph.nodes.emplace_back();
            node.position = NodePosition{i, k};
            const unsigned up = k < aboveLength ? above[k] : 0U;
            const unsigned down = k < belowLength ? below[k] : 0U;
            const unsigned left = k > 0 ? cells[k - 1] : 0U;
            const unsigned right = k + 1 < width && k + 1 < length ? cells[k + 1] : 0U;
            node.above = detail::endOrSelf(up, aboveFirst + rankAbove[k], kNoNode);
            node.below = detail::endOrSelf(down, belowFirst + rankBelow[k], kNoNode);
            node.openSides =
                static_cast<std::uint8_t>(up * kUp | down * kDown | left * kLeft | right * kRight);
        }
        std::swap(rankAbove, rankHere);
        std::swap(rankHere, rankBelow);
    }

    const std::int64_t startAt = findNode(graph.nodes, start);
    const std::int64_t endAt = findNode(graph.nodes, end);
    graph.startNode = startAt < 0 ? kNoNode : static_cast<NodeId>(startAt);
    graph.endNode = endAt < 0 ? kNoNode : static_cast<NodeId>(endAt);
    return graph;
}

} // namespace corridex
