#include "tests/fuzz/maze_case.hpp"

#include <vector>

namespace corridex::fuzz {
namespace {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }
    // The next cell bit; open once the bytes run out.
    bool nextBit() {
        if (at_ >= size_) {
            return true;
        }
        const bool bit = ((data_[at_] >> bit_) & 1U) != 0;
        if (++bit_ == 8) {
            bit_ = 0;
            ++at_;
        }
        return bit;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    unsigned bit_ = 0;
};

Index decodeCell(unsigned mode, std::uint8_t row, std::uint8_t col, std::size_t rows,
                 std::size_t width) {
    Index cell{row % (rows + 2), col % (width + 2)};
    if (mode == 1) {
        cell.row = UINT64_MAX;
    } else if (mode == 2) {
        cell.col = UINT64_MAX;
    }
    return cell;
}

} // namespace

MazeCase decodeMazeCase(const std::uint8_t* data, std::size_t size) {
    ByteReader bytes(data, size);
    MazeCase maze;
    const std::size_t rows = bytes.next() % (kMaxSide + 1);
    const std::size_t width = bytes.next() % (kMaxSide + 1);
    const std::uint8_t flags = bytes.next();
    maze.ragged = (flags & 1U) != 0;
    const std::uint8_t startRow = bytes.next();
    const std::uint8_t startCol = bytes.next();
    const std::uint8_t endRow = bytes.next();
    const std::uint8_t endCol = bytes.next();
    maze.start = decodeCell((flags >> 1) & 3U, startRow, startCol, rows, width);
    maze.end = decodeCell((flags >> 3) & 3U, endRow, endCol, rows, width);

    std::vector<std::size_t> lengths(rows, width);
    if (maze.ragged) {
        for (std::size_t r = 1; r < rows; ++r) {
            lengths[r] = bytes.next() % (kMaxSide + 8);
        }
    }
    for (std::size_t r = 0; r < rows; ++r) {
        std::uint8_t* cells = maze.grid.appendRow(lengths[r]);
        for (std::size_t c = 0; c < lengths[r]; ++c) {
            cells[c] = bytes.nextBit() ? 1 : 0;
        }
    }
    return maze;
}

} // namespace corridex::fuzz
