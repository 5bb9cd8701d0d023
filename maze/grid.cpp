#include "maze/grid.hpp"

namespace corridex {

Grid::Grid(std::initializer_list<std::initializer_list<bool>> rows) {
    for (const auto& row : rows) {
        std::uint8_t* cells = appendRow(row.size());
        for (const bool open : row) {
            *cells++ = open ? 1 : 0;
        }
    }
}

void Grid::reserve(std::size_t rows, std::size_t cells) {
    rowStart_.reserve(rows + 1);
    cells_.reserve(cells);
}

std::uint8_t* Grid::appendRow(std::size_t length) {
    const std::size_t start = cells_.size();
    cells_.resize(start + length, 0);
    rowStart_.push_back(cells_.size());
    return cells_.data() + start;
}

} // namespace corridex
