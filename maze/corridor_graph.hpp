#pragma once

#include <algorithm>
#include <vector>

#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "maze/maze_graph.hpp"
#include "maze/memory_budget.hpp"

namespace corridex {

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
    auto readLength = [&](std::size_t row) { return std::min(width, grid.rowLength(row)); };

    std::size_t openCells = 0;
    for (std::size_t j = 0; j < rows; ++j) {
        const std::uint8_t* cells = grid.row(j);
        const std::size_t length = readLength(j);
        for (std::size_t k = 0; k < length; ++k) {
            openCells += cells[k] != 0 ? 1 : 0;
        }
    }
    // There are never more nodes than open cells, so this is the only allocation of the store.
    requireFitsInMemory(checkedProduct(openCells, sizeof(Node), "the maze graph"),
                        "the maze graph");
    graph.nodes.reserve(openCells);

    std::vector<Node*> lastInColumn(width, nullptr);
    for (std::size_t j = 0; j < rows; ++j) {
        const std::uint8_t* cells = grid.row(j);
        const std::size_t length = readLength(j);
        const std::uint8_t* above = j > 0 ? grid.row(j - 1) : nullptr;
        const std::size_t aboveLength = j > 0 ? readLength(j - 1) : 0;
        const std::uint8_t* below = j + 1 < rows ? grid.row(j + 1) : nullptr;
        const std::size_t belowLength = j + 1 < rows ? readLength(j + 1) : 0;
        Node* lastInRow = nullptr;
        for (std::size_t k = 0; k < width; ++k) {
            if (k >= length || cells[k] == 0) {
                lastInColumn[k] = nullptr;
                lastInRow = nullptr;
                continue;
            }
            const bool left = k > 0 && cells[k - 1] != 0;
            const bool up = k < aboveLength && above[k] != 0;
            const bool right = k + 1 < length && cells[k + 1] != 0;
            const bool down = k < belowLength && below[k] != 0;
            const bool isStart = j == start.row && k == start.col;
            const bool isEnd = j == end.row && k == end.col;
            const int openNeighbours = int{left} + int{up} + int{right} + int{down};
            const bool decision = (openNeighbours % 2 == 1) || ((left || right) && (up || down));
            if (!(isStart || isEnd || decision)) {
                continue;
            }

            Node& node = graph.nodes.emplace_back();
            node.position = Index{j, k};
            // The first cell of every run of two or more open cells is a node, so the run's
            // previous node exists whenever the way back along it is open.
            if (left) {
                Node* previous = lastInRow;
                const std::uint64_t length = manhattanDistance(previous->position, node.position);
                node.edges.push_back({previous, length});
                previous->edges.push_back({&node, length});
            }
            if (up) {
                Node* previous = lastInColumn[k];
                const std::uint64_t length = manhattanDistance(previous->position, node.position);
                node.edges.push_back({previous, length});
                previous->edges.push_back({&node, length});
            }
            lastInColumn[k] = &node;
            lastInRow = &node;
            if (isStart) {
                graph.startNode = &node;
            }
            if (isEnd) {
                graph.endNode = &node;
            }
        }
    }
    return graph;
}

} // namespace corridex
