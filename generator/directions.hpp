#pragma once

#include <array>
#include <cstdint>

namespace corridex {

// The four ways out of a maze cell, each a single bit so that a cell's passages form a mask.
enum Direction : std::uint8_t {
    Left = 1,
    Right = 2,
    Down = 4,
    Up = 8,
};

// The direction back, indexed by a direction bit; only entries 1, 2, 4 and 8 are meaningful.
constexpr std::array<std::uint8_t, 9> kOpposite{0, Right, Left, 0, Up, 0, 0, 0, Down};

// The order every cell's directions start from before they are shuffled.
constexpr std::array<Direction, 4> kUnshuffled{Left, Right, Down, Up};

} // namespace corridex
