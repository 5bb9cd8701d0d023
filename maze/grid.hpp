#pragma once

#include "system/large_block_allocator.hpp"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace corridex {

// A maze as rows of cells, one byte per cell: 1 for an open cell and 0 for a wall (writers of
// appendRow's cells keep to those two values). Rows may differ in length: each graph builder
// states how it reads a ragged grid.
class Grid {
public:
    Grid() = default;
    // Convenience for tests and small callers: each inner list is one row.
    Grid(std::initializer_list<std::initializer_list<bool>> rows);

    // Reserves room for `rows` rows holding `cells` cells in all.
    void reserve(std::size_t rows, std::size_t cells);
    // Appends a row of `length` walls and returns its cells for filling with 0 and 1; the pointer
    // stays valid until the next append.
    std::uint8_t* appendRow(std::size_t length);

    std::size_t rowCount() const { return rowStart_.size() - 1; }
    std::size_t rowLength(std::size_t row) const { return rowStart_[row + 1] - rowStart_[row]; }
    // The length of the first row, which is the grid's width; 0 for a grid without rows.
    std::size_t width() const { return rowCount() == 0 ? 0 : rowLength(0); }
    std::size_t cellCount() const { return cells_.size(); }
    // Position of a row's first cell among all the grid's cells, counted row by row.
    std::size_t rowOffset(std::size_t row) const { return rowStart_[row]; }
    // The cells of one row; `rowLength(row)` of them.
    const std::uint8_t* row(std::size_t row) const { return cells_.data() + rowStart_[row]; }
    // True when the cell lies inside its row's own length and is open.
    bool isOpen(std::size_t row, std::size_t col) const {
        return row < rowCount() && col < rowLength(row) && this->row(row)[col] != 0;
    }

    friend bool operator==(const Grid& a, const Grid& b) {
        return a.rowStart_ == b.rowStart_ && a.cells_ == b.cells_;
    }

private:
    LargeVector<std::uint8_t> cells_;
    std::vector<std::size_t> rowStart_{0};
};

} // namespace corridex
