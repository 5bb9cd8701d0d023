#pragma once

#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "maze/maze_graph.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace corridex {

namespace detail {

// Bit m is set when an open cell whose open neighbours form the mask m (left 1, up 2, right 4,
// down 8) is a decision cell: a dead end, a corner, a junction or a crossing. Straight corridors
// and cells with no open neighbour are not.
constexpr std::uint16_t decisionMasks() {
    std::uint16_t masks = 0;
    for (unsigned m = 0; m < 16; ++m) {
        const bool horizontal = (m & 5U) != 0;
        const bool vertical = (m & 10U) != 0;
        const unsigned count = (m & 1U) + ((m >> 1) & 1U) + ((m >> 2) & 1U) + ((m >> 3) & 1U);
        if (count % 2 == 1 || (horizontal && vertical)) {
            masks = static_cast<std::uint16_t>(masks | (1U << m));
        }
    }
    return masks;
}

// The cells of row `row` as the corridor builder reads them: exactly `width` cells, those a
// shorter row lacks (or rows outside the grid) being walls.
class WidthRows {
public:
    WidthRows(const Grid& grid, std::size_t width) : grid_(grid), width_(width) {}
    const std::uint8_t* operator()(std::size_t row, std::vector<std::uint8_t>& scratch) const {
        if (row < grid_.rowCount() && grid_.rowLength(row) >= width_) {
            return grid_.row(row);
        }
        scratch.assign(width_ + 1, 0);
        if (row < grid_.rowCount()) {
            std::copy_n(grid_.row(row), grid_.rowLength(row), scratch.begin());
        }
        return scratch.data();
    }

private:
    const Grid& grid_;
    std::size_t width_;
};

} // namespace detail

// Builds the corridor graph: a node at every dead end, corner, junction and crossing and at the
// start and end cells, and one edge each way along every straight run of open cells between two
// nodes, weighted by its length. Every row is read with the first row's length; cells a shorter
// row lacks are walls. Each node's edges come out in the order left, up, right, down.
// Cost: two passes over rows x width cells and one reservation of the node store.
template <class Node>
MazeGraph<Node> buildCorridorGraph(const Grid& grid, const Index& start, const Index& end) {
    MazeGraph<Node> graph;
    const std::size_t rows = grid.rowCount();
    const std::size_t width = grid.width();

    std::size_t openCells = 0;
    for (std::size_t j = 0; j < rows; ++j) {
        const std::uint8_t* cells = grid.row(j);
        const std::size_t length = std::min(width, grid.rowLength(j));
        for (std::size_t k = 0; k < length; ++k) {
            openCells += cells[k];
        }
    }
    requireNumberable(rows, width, openCells);
    // There are never more nodes than open cells, so this is the only allocation of the store.
    graph.nodes.reserve(openCells);

    // The first cell of every run of two or more open cells is a node, in a row as in a column.
    // So when a node's left neighbour is open, the row's previous node is the other end of that
    // corridor; when its up neighbour is open, so is the last node made in its column.
    constexpr std::uint16_t kDecision = detail::decisionMasks();
    const detail::WidthRows widthRows(grid, width);
    std::vector<std::uint8_t> aboveScratch;
    std::vector<std::uint8_t> hereScratch;
    std::vector<std::uint8_t> belowScratch;
    std::vector<NodeId> lastInColumn(width, kNoNode);
    std::vector<std::uint32_t> nodeColumns(width);
    for (std::size_t j = 0; j < rows; ++j) {
        const std::uint8_t* above = j > 0 ? widthRows(j - 1, aboveScratch) : nullptr;
        const std::uint8_t* here = widthRows(j, hereScratch);
        const std::uint8_t* below = widthRows(j + 1, belowScratch);
        const std::size_t startCol = j == start.row ? start.col : SIZE_MAX;
        const std::size_t endCol = j == end.row ? end.col : SIZE_MAX;

        // Find this row's node columns without a branch per cell.
        std::size_t count = 0;
        for (std::size_t k = 0; k < width; ++k) {
            const unsigned left = k > 0 ? here[k - 1] : 0U;
            const unsigned up = above != nullptr ? above[k] : 0U;
            const unsigned right = k + 1 < width ? here[k + 1] : 0U;
            const unsigned down = below[k];
            const unsigned mask = left | (up << 1) | (right << 2) | (down << 3);
            const unsigned isNode =
                ((kDecision >> mask) & 1U) | unsigned{k == startCol} | unsigned{k == endCol};
            nodeColumns[count] = static_cast<std::uint32_t>(k);
            count += here[k] & isNode;
        }

        NodeId previousInRow = kNoNode;
        for (std::size_t n = 0; n < count; ++n) {
            const std::size_t k = nodeColumns[n];
            const auto id = static_cast<NodeId>(graph.nodes.size());
            Node& node = graph.nodes.emplace_back();
            node.position = Index{j, k};
            auto link = [&](NodeId previous) {
                Node& other = graph[previous];
                const auto length =
                    static_cast<std::uint32_t>(manhattanDistance(other.position, node.position));
                node.edges.push_back({previous, length});
                other.edges.push_back({id, length});
            };
            if (k > 0 && here[k - 1] != 0) {
                link(previousInRow);
            }
            if (above != nullptr && above[k] != 0) {
                link(lastInColumn[k]);
            }
            lastInColumn[k] = id;
            previousInRow = id;
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
