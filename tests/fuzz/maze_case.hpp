#pragma once

#include "maze/grid.hpp"
#include "maze/index.hpp"

#include <cstddef>
#include <cstdint>

namespace corridex::fuzz {

// A maze, a start and an end decoded from arbitrary bytes. Missing bytes read as 0, and cells
// left over once the bytes run out are open.
//   byte 0      rows, modulo 33
//   byte 1      width (the first row's length), modulo 33
//   byte 2      flags: bit 0 ragged rows; bits 1-2 start, bits 3-4 end: 1 puts row, 2 col at
//               2^64 - 1, anything else takes both from the next bytes
//   bytes 3-6   start row, start col, end row, end col, each modulo (its dimension + 2), so
//               that a cell just outside the grid comes up too
//   ragged      one byte per row after the first: that row's length, modulo 40
//   the rest    one bit per cell, row by row, least significant bit first; 1 is open
struct MazeCase {
    Grid grid;
    Index start;
    Index end;
    bool ragged = false;
};

// The largest grid a case decodes to, which keeps one run of every solver in milliseconds.
inline constexpr std::size_t kMaxSide = 32;

MazeCase decodeMazeCase(const std::uint8_t* data, std::size_t size);

} // namespace corridex::fuzz
