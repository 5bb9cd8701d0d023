#pragma once

#include "generator/directions.hpp"
#include "maze/cancellation.hpp"
#include "maze/grid.hpp"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

namespace corridex {

// Where generate() takes its randomness from. `draw` behaves like std::rand (values 0 to
// `drawMax`) and shuffles the directions at each cell; `clock` gives calendar seconds, whose low
// 32 bits seed the MT19937 engine that picks the start cell.
struct RandomSources {
    std::function<int()> draw = [] { return std::rand(); };
    std::uint64_t drawMax = RAND_MAX;
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };
};

// Shuffles the four directions with values from a draw source. Starting from Left, Right, Down,
// Up, swaps positions i and r for i = 1, 2, 3, with r uniform in 0..i: with N the largest power
// of two not above drawMax + 1, a value v >= N is discarded, v is accepted when below
// N - N % (i + 1), and r = v % (i + 1). Needs drawMax >= 3 (std::invalid_argument otherwise);
// refers to `sources.draw`, which must outlive it.
class DirectionShuffler {
public:
    explicit DirectionShuffler(const RandomSources& sources);
    std::array<Direction, 4> operator()() const;

private:
    template <unsigned Bound>
    unsigned below() const;

    const std::function<int()>& draw_;
    std::array<std::uint64_t, 5> accepted_{}; // by bound: values below this are accepted
};

// Perfect mazes carved by randomized depth-first backtracking. `width` counts rows and `hight`
// columns: there are width / 2 rows of hight / 2 cells, and each cell is drawn as a 2 x 2 block
// of the grid (the cell, its passage right, its passage down, and a wall corner).
class RandomMazeGenerator {
public:
    // Allocates the cells' passage masks, so that a size that can never be generated fails
    // here: std::length_error("vector too long") when the grid's rows could not be held in a
    // vector, std::bad_alloc when the masks, the carving and the grid together would not fit in
    // physical memory. Any other size is accepted, including those below 2.
    RandomMazeGenerator(std::uint64_t width, std::uint64_t hight);

    // Carves unless a maze is complete, then draws it: 2 * cellRows() rows of 2 * cellCols()
    // entries, cells and their Right and Down passages true, everything else false. Every call
    // seeds an engine, picks a start cell and shuffles its directions, so once the maze is
    // complete a later call carves nothing and returns an equal grid. Without cells it takes
    // nothing from either source. An exception from `poll` abandons the carving, and the next
    // generate() clears the masks and carves a new maze. A generate() called while one runs
    // (from `poll`) throws std::logic_error at once, changing nothing. O(cells); no allocation
    // per cell.
    Grid generate(CancellationPoll poll = CancellationPoll{},
                  const RandomSources& sources = RandomSources{});

    std::uint64_t cellRows() const { return cellRows_; }
    std::uint64_t cellCols() const { return cellCols_; }
    // The passage mask of a cell: the OR of the directions a passage leaves it by; 0 until the
    // carving enters it. Needs row < cellRows() and col < cellCols().
    std::uint8_t mask(std::uint64_t row, std::uint64_t col) const {
        return masks_[maskIndex(row, col)];
    }
    // Bytes that generate() holds at its peak: masks, carving stack and grid.
    std::uint64_t peakBytes() const { return peakBytes_; }

private:
    // Masks are stored row by row, each row behind a sentinel byte, with a row of sentinels
    // above the first row and below the last: a step off the rectangle lands on a sentinel, which
    // reads as a cell already entered.
    std::uint64_t maskIndex(std::uint64_t row, std::uint64_t col) const {
        return (row + 1) * stride_ + col + 1;
    }
    void resetMasks();
    void carve(std::uint64_t startRow, std::uint64_t startCol, CancellationPoll& poll,
               const RandomSources& sources);
    Grid draw(CancellationPoll& poll) const;

    enum class State { Fresh, Abandoned, Carved };

    std::uint64_t cellCols_;
    std::uint64_t cellRows_;
    std::uint64_t stride_;
    std::uint64_t peakBytes_ = 0;
    std::vector<std::uint8_t> masks_;
    State state_ = State::Fresh;
    bool running_ = false;
};

} // namespace corridex
