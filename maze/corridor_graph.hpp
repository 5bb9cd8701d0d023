#pragma once

#include "maze/graph_nodes.hpp"
#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "maze/maze_graph.hpp"
#include "system/memory_budget.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace corridex {

namespace detail {

// The cells of row `row` as the corridor builder reads them: exactly `width` cells, those a
// shorter row lacks (or rows outside the grid) being walls.
class WidthRows {
public:
    WidthRows(const Grid& grid, std::size_t width) : grid_(grid), width_(width) {}
    const std::uint8_t* operator()(std::size_t row, std::vector<std::uint8_t>& scratch) const {
        if (row < grid_.rowCount() && grid_.rowLength(row) >= width_) {
            return grid_.row(row);
        }
        scratch.assign(width_, 0);
        if (row < grid_.rowCount()) {
            std::copy_n(grid_.row(row), grid_.rowLength(row), scratch.begin());
        }
        return scratch.data();
    }

private:
    const Grid& grid_;
    std::size_t width_;
};

// Marks with 1 each open cell of `here` that is a decision cell: an odd number of open
// neighbours (a dead end or a junction), or one open to the side and one above or below (a
// corner or a crossing). Straight corridors and cells with no open neighbour get 0. Plain byte
// arithmetic, so the compiler can process many cells at once.
inline void markDecisionCells(const std::uint8_t* above, const std::uint8_t* here,
                              const std::uint8_t* below, std::size_t width, std::uint8_t* marks) {
    auto mark = [&](std::size_t k, unsigned left, unsigned right) {
        const unsigned up = above[k];
        const unsigned down = below[k];
        const unsigned odd = left ^ right ^ up ^ down;
        const unsigned corner = (left | right) & (up | down);
        marks[k] = static_cast<std::uint8_t>(here[k] & (odd | corner));
    };
    if (width == 1) {
        mark(0, 0, 0);
        return;
    }
    mark(0, 0, here[1]);
    for (std::size_t k = 1; k + 1 < width; ++k) {
        mark(k, here[k - 1], here[k + 1]);
    }
    mark(width - 1, here[width - 2], 0);
}

} // namespace detail

// Builds the corridor graph: a node at every dead end, corner, junction and crossing and at the
// start and end cells, and one edge each way along every straight run of open cells between two
// nodes, weighted by its length. Every row is read with the first row's length; cells a shorter
// row lacks are walls. Each node's edges come out in the order left, up, right, down.
// Cost: three passes over rows x width cells and one reservation of the node store.
template <class Node>
MazeGraph<Node> buildCorridorGraph(const Grid& grid, const Index& start, const Index& end) {
    MazeGraph<Node> graph;
    const std::size_t rows = grid.rowCount();
    const std::size_t width = grid.width();
    // Open cells first, in a plain pass the compiler vectorises: a grid without any needs no
    // marking at all.
    std::size_t openCells = 0;
    for (std::size_t j = 0; j < rows; ++j) {
        const std::uint8_t* cells = grid.row(j);
        const std::size_t length = std::min(width, grid.rowLength(j));
        for (std::size_t k = 0; k < length; ++k) {
            openCells += cells[k];
        }
    }
    requireNumberable(rows, width, openCells);
    if (openCells == 0) {
        return graph;
    }

    const detail::WidthRows widthRows(grid, width);
    const std::vector<std::uint8_t> noRow(width, 0);
    std::vector<std::uint8_t> aboveScratch;
    std::vector<std::uint8_t> hereScratch;
    std::vector<std::uint8_t> belowScratch;
    std::vector<std::uint8_t> marks(width + 8, 0);
    const std::uint8_t* above = nullptr;
    const std::uint8_t* here = nullptr;
    // Reads row j and its neighbours and marks its node cells with 1 in `marks`.
    auto markRow = [&](std::size_t j) {
        above = j > 0 ? widthRows(j - 1, aboveScratch) : noRow.data();
        here = widthRows(j, hereScratch);
        const std::uint8_t* below = widthRows(j + 1, belowScratch);
        detail::markDecisionCells(above, here, below, width, marks.data());
        // The start and end cells are nodes whenever they are open.
        for (const Index& endpoint : {start, end}) {
            if (endpoint.row == j && endpoint.col < width) {
                marks[endpoint.col] = here[endpoint.col];
            }
        }
    };

    // A first pass counts the nodes, so that the store is allocated once at its exact size.
    std::size_t nodeCount = 0;
    for (std::size_t j = 0; j < rows; ++j) {
        markRow(j);
        for (std::size_t k = 0; k < width; ++k) {
            nodeCount += marks[k];
        }
    }
    if (nodeCount == 0) {
        return graph;
    }
    requireFitsInMemory(checkedProduct(nodeCount, sizeof(Node), "the maze graph"),
                        "the maze graph");
    graph.nodes.reserve(nodeCount);

    // The first cell of every run of two or more open cells is a node, in a row as in a column.
    // So when a node's left neighbour is open, the row's previous node is the other end of that
    // corridor; when its up neighbour is open, so is the last node made in its column.
    std::vector<NodeId> lastInColumn(width, kNoNode);
    std::vector<std::uint32_t> nodeColumns(width);
    for (std::size_t j = 0; j < rows; ++j) {
        markRow(j);
        const std::size_t startCol = j == start.row ? start.col : SIZE_MAX;
        const std::size_t endCol = j == end.row ? end.col : SIZE_MAX;
        // Gather the marked columns, skipping eight unmarked cells at a time.
        std::size_t count = 0;
        for (std::size_t k = 0; k < width; k += 8) {
            std::uint64_t eight = 0;
            std::memcpy(&eight, marks.data() + k, sizeof eight);
            for (std::size_t i = k; eight != 0; ++i, eight >>= 8) {
                nodeColumns[count] = static_cast<std::uint32_t>(i);
                count += eight & 1U;
            }
        }

        for (std::size_t n = 0; n < count; ++n) {
            const std::size_t k = nodeColumns[n];
            const auto id = static_cast<NodeId>(graph.nodes.size());
            Node& node = graph.nodes.emplace_back();
            node.position = NodePosition{j, k};
            // Whether the cells left and above are open follows no pattern, so both links are
            // made without a branch: a closed side writes its no-op into this node instead.
            const unsigned left = k > 0 ? here[k - 1] : 0U; // the row's previous node, id - 1
            const unsigned up = above[k];
            const NodeId upper = detail::endOrSelf(up, lastInColumn[k], id);
            node.openSides = static_cast<std::uint8_t>(left * kLeft | up * kUp);
            node.above = detail::endOrSelf(up, lastInColumn[k], kNoNode);
            graph[id - left].openSides |= static_cast<std::uint8_t>(left * kRight);
            graph[upper].openSides |= static_cast<std::uint8_t>(up * kDown);
            graph[upper].below = detail::endOrSelf(up, id, kNoNode);
            lastInColumn[k] = id;
            if (k == startCol) {
                graph.startNode = id;
            }
            if (k == endCol) {
                graph.endNode = id;
            }
        }
    }
    return graph;
}

} // namespace corridex
