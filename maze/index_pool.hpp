#pragma once

#include <cstddef>

namespace corridex::detail {

// Storage for Index objects made one at a time with `new`, as language bindings make them for
// every cell they hand out (results can hold millions). Each thread carves cells in turn from its
// own 64 KiB slab; a slab is given back once it is full, or its thread has ended, and every cell
// in it has been released, from whatever thread. So allocating is a pointer bump and releasing
// one atomic decrement. Given-back slabs are kept for reuse up to 4 MiB; the rest are unmapped.
void* allocateIndexCell();
void releaseIndexCell(void* cell) noexcept;

// How many slabs are being carved or hold live cells, for tests.
std::size_t indexSlabsInUse();

// Bytes and alignment of a cell: those of Index.
inline constexpr std::size_t kIndexCellBytes = 16;

} // namespace corridex::detail
