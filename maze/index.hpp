#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corridex {

// A cell position: `row` indexes the grid's rows (growing downwards), `col` the cells of a row.
struct Index {
    std::uint64_t row = 0;
    std::uint64_t col = 0;

    // Made one at a time with `new`, Index objects come from a pool of slabs (index_pool.hpp),
    // which makes and frees them several times faster than the general allocator; arrays and
    // containers of them use the usual allocators.
    static void* operator new(std::size_t bytes);
    static void operator delete(void* cell, std::size_t bytes) noexcept;
};

inline bool operator==(const Index& a, const Index& b) {
    return a.row == b.row && a.col == b.col;
}
inline bool operator!=(const Index& a, const Index& b) {
    return !(a == b);
}

// Row difference plus column difference, each taken as the larger value minus the smaller.
inline std::uint64_t manhattanDistance(const Index& a, const Index& b) {
    const std::uint64_t rows = a.row > b.row ? a.row - b.row : b.row - a.row;
    const std::uint64_t cols = a.col > b.col ? a.col - b.col : b.col - a.col;
    return rows + cols;
}

// "row,col" in unsigned decimal, with no spaces or brackets: Index{3, 14} is "3,14".
std::string toString(const Index& index);

} // namespace corridex
