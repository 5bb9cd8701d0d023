#pragma once

#include "maze/grid.hpp"
#include "maze/index.hpp"

#include <string>
#include <vector>

namespace corridex::testing {

// A grid drawn as text, one string per row: '.' is an open cell, anything else a wall.
inline Grid gridFromText(const std::vector<std::string>& rows) {
    Grid grid;
    for (const std::string& text : rows) {
        std::uint8_t* cells = grid.appendRow(text.size());
        for (const char c : text) {
            *cells++ = c == '.' ? 1 : 0;
        }
    }
    return grid;
}

// The positions of a sequence of nodes or cells, for comparing with expected lists.
template <class Range, class Project>
std::vector<Index> positionsOf(const Range& range, Project project) {
    std::vector<Index> positions;
    positions.reserve(range.size());
    for (const auto& item : range) {
        positions.push_back(project(item));
    }
    return positions;
}

} // namespace corridex::testing

namespace corridex {
// Lets GoogleTest print cells as "row,col".
inline void PrintTo(const Index& index, std::ostream* out) {
    *out << toString(index);
}
} // namespace corridex
