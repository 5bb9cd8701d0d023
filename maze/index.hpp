#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corridex {

// A cell position: `row` indexes the grid's rows (growing downwards), `col` the cells of a row.
struct Index {
    std::uint64_t row = 0;
    std::uint64_t col = 0;

    // Made one at a time with `new`, as a language binding makes one for every cell it hands
    // out, an Index comes from the allocator installed by useIndexAllocator. Arrays and
    // containers of Index use their own allocators.
    static void* operator new(std::size_t bytes);
    static void operator delete(void* cell) noexcept;
};

// Where `new Index` takes its memory from: by default the global operator new. A binding can
// put each Index beside the object that owns it, in its language's own small-object heap, so
// that the memory goes back with those objects. Installed once, before any Index is made with
// `new`; `allocate` throws std::bad_alloc or returns memory, `release` takes what it returned.
// Both run on the thread that makes or frees the Index, with nothing held by the core: whatever
// lock the allocator needs is the caller's to hold. CPython's small-object heap, the binding's
// choice, needs the interpreter lock, so there every Index is made and freed with it held.
struct IndexAllocator {
    void* (*allocate)(std::size_t bytes);
    void (*release)(void* cell) noexcept;
};
void useIndexAllocator(IndexAllocator allocator) noexcept;

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
