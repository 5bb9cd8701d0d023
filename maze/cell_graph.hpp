#pragma once

#include <cstdint>
#include <vector>

#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "maze/maze_graph.hpp"
#include "maze/memory_budget.hpp"

namespace corridex {

// Position in `nodes` of the node of `cell`, found by binary search over the row-major store,
// or -1 when the cell has no node.
template <class Node>
std::int64_t findNode(const std::vector<Node>& nodes, const Index& cell) {
    std::int64_t lo = 0;
    std::int64_t hi = static_cast<std::int64_t>(nodes.size()) - 1;
    while (lo <= hi) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        const Index& at = nodes[static_cast<std::size_t>(mid)].position;
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

// Builds the cell graph: a node for every open cell (each row read with its own length) and a
// link to each open cell beside it, in the order up, down, left, right. Right-hand cells are
// tried only while col + 1 is below the first row's length. Cost: linear in the grid's cells.
template <class Node>
MazeGraph<Node> buildCellGraph(const Grid& grid, const Index& start, const Index& end) {
    MazeGraph<Node> graph;
    const std::size_t rows = grid.rowCount();
    const std::size_t width = grid.width();

    // Where each cell's node lies in the store, so that linking needs no search per neighbour.
    constexpr std::size_t kNoNode = SIZE_MAX;
    requireFitsInMemory(checkedProduct(grid.cellCount(), sizeof(std::size_t), "the maze graph"),
                        "the maze graph");
    std::vector<std::size_t> nodeOfCell(grid.cellCount(), kNoNode);
    std::size_t openCells = 0;
    for (std::size_t i = 0; i < rows; ++i) {
        const std::uint8_t* cells = grid.row(i);
        for (std::size_t k = 0; k < grid.rowLength(i); ++k) {
            if (cells[k] != 0) {
                nodeOfCell[grid.rowOffset(i) + k] = openCells++;
            }
        }
    }
    requireFitsInMemory(checkedProduct(openCells, sizeof(Node), "the maze graph"),
                        "the maze graph");
    graph.nodes.resize(openCells);
    for (std::size_t i = 0; i < rows; ++i) {
        const std::uint8_t* cells = grid.row(i);
        for (std::size_t k = 0; k < grid.rowLength(i); ++k) {
            if (cells[k] != 0) {
                graph.nodes[nodeOfCell[grid.rowOffset(i) + k]].position = Index{i, k};
            }
        }
    }

    auto nodeAt = [&](std::size_t row, std::size_t col) -> Node* {
        if (col >= grid.rowLength(row)) {
            return nullptr;
        }
        const std::size_t at = nodeOfCell[grid.rowOffset(row) + col];
        return at == kNoNode ? nullptr : &graph.nodes[at];
    };
    for (Node& node : graph.nodes) {
        const std::size_t row = node.position.row;
        const std::size_t col = node.position.col;
        Node* found[4] = {
            row > 0 ? nodeAt(row - 1, col) : nullptr,
            row + 1 < rows ? nodeAt(row + 1, col) : nullptr,
            col > 0 ? nodeAt(row, col - 1) : nullptr,
            col + 1 < width ? nodeAt(row, col + 1) : nullptr,
        };
        for (Node* neighbour : found) {
            if (neighbour != nullptr) {
                node.neighbours.push_back(neighbour);
            }
        }
    }

    const std::int64_t startAt = findNode(graph.nodes, start);
    const std::int64_t endAt = findNode(graph.nodes, end);
    graph.startNode = startAt < 0 ? nullptr : &graph.nodes[static_cast<std::size_t>(startAt)];
    graph.endNode = endAt < 0 ? nullptr : &graph.nodes[static_cast<std::size_t>(endAt)];
    return graph;
}

} // namespace corridex
