#include "generator/random_maze_generator.hpp"

#include "system/memory_budget.hpp"
#include "system/platform.hpp"

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>

namespace corridex {
namespace {

constexpr std::uint8_t kSentinel = 0x80;

// A frame holds a mask index in 53 bits; no maze that fits in memory comes near that.
constexpr std::uint64_t kMaxMasks = std::uint64_t{1} << 53;

std::uint64_t saturatingSum(std::uint64_t a, std::uint64_t b) {
    std::uint64_t sum = 0;
    return platform::addOverflows(a, b, sum) ? UINT64_MAX : sum;
}

// A cell whose directions are still being tried, packed in one word: its mask index, its
// shuffled directions as four 2-bit codes (the direction is 1 << code) and how many it has tried.
class Frame {
public:
    Frame(std::uint64_t cell, const std::array<Direction, 4>& order) : word_(cell << kCellShift) {
        for (unsigned position = 0; position < 4; ++position) {
            const auto code =
                static_cast<std::uint64_t>(platform::trailingZeros32(order[position]));
            word_ |= code << (kOrderShift + 2 * position);
        }
    }
    std::uint64_t cell() const { return word_ >> kCellShift; }
    // The direction code at a position of the shuffled order.
    unsigned code(unsigned position) const {
        return static_cast<unsigned>((word_ >> (kOrderShift + 2 * position)) & 3);
    }
    // Bit k set for each position k not yet tried.
    unsigned untried() const { return 0xFu << (word_ & kTriedMask) & 0xFu; }
    void setTried(unsigned count) { word_ = (word_ & ~kTriedMask) | count; }

private:
    static constexpr unsigned kOrderShift = 3;
    static constexpr unsigned kCellShift = 11;
    static constexpr std::uint64_t kTriedMask = 7;
    std::uint64_t word_;
};

} // namespace

DirectionShuffler::DirectionShuffler(const RandomSources& sources) : draw_(sources.draw) {
    if (sources.drawMax < 3) {
        throw std::invalid_argument("a direction shuffle needs draws of at least 0 to 3");
    }
    // The largest power of two not above drawMax + 1.
    const std::uint64_t values = sources.drawMax == UINT64_MAX ? UINT64_MAX : sources.drawMax + 1;
    const std::uint64_t range = std::uint64_t{1} << (63 - platform::leadingZeros64(values));
    for (std::uint64_t bound = 1; bound < accepted_.size(); ++bound) {
        accepted_[bound] = range - range % bound;
    }
}

template <unsigned Bound>
unsigned DirectionShuffler::below() const {
    for (;;) {
        const int raw = draw_();
        if (raw < 0) {
            continue;
        }
        const auto value = static_cast<std::uint64_t>(raw);
        if (value < accepted_[Bound]) { // which also discards every value beyond the range
            return static_cast<unsigned>(value % Bound);
        }
    }
}

std::array<Direction, 4> DirectionShuffler::operator()() const {
    // Swapping a position with itself changes nothing, so every swap is made: a branch on the
    // random outcome would be mispredicted half the time.
    std::array<Direction, 4> order = kUnshuffled;
    std::swap(order[1], order[below<2>()]);
    std::swap(order[2], order[below<3>()]);
    std::swap(order[3], order[below<4>()]);
    return order;
}

RandomMazeGenerator::RandomMazeGenerator(std::uint64_t width, std::uint64_t hight)
    : cellCols_(hight / 2), cellRows_(width / 2), stride_(cellCols_ + 1) {
    // Grid rows are counted in the grid's table of row starts, which holds one entry more.
    const std::uint64_t gridRows = 2 * cellRows_;
    if (gridRows >= std::vector<std::size_t>().max_size()) {
        throw std::length_error("vector too long");
    }
    const char* what = "RandomMazeGenerator";
    const std::string maze =
        "a " + std::to_string(width) + " x " + std::to_string(hight) + " maze";
    const char* purpose = maze.c_str();
    const std::uint64_t cells = checkedProduct(cellRows_, cellCols_, what, purpose);
    // Without cells there is nothing to carve and no mask is kept.
    const std::uint64_t maskBytes =
        cells == 0 ? 0 : checkedProduct(cellRows_ + 2, stride_, what, purpose);
    const std::uint64_t stackBytes = checkedProduct(cells, sizeof(Frame), what, purpose);
    const std::uint64_t gridBytes =
        saturatingSum(checkedProduct(cells, 4, what, purpose),
                      checkedProduct(gridRows + 1, sizeof(std::size_t), what, purpose));
    peakBytes_ = saturatingSum(saturatingSum(maskBytes, stackBytes), gridBytes);
    requireFitsInMemory(peakBytes_, what, purpose);
    if (maskBytes > kMaxMasks) {
        throw std::bad_alloc();
    }
    if (cells != 0) {
        masks_.assign(maskBytes, 0);
        resetMasks();
    }
}

void RandomMazeGenerator::resetMasks() {
    std::fill(masks_.begin(), masks_.end(), 0);
    std::fill(masks_.begin(), masks_.begin() + static_cast<std::ptrdiff_t>(stride_), kSentinel);
    std::fill(masks_.end() - static_cast<std::ptrdiff_t>(stride_), masks_.end(), kSentinel);
    for (std::uint64_t sentinel = 0; sentinel < masks_.size(); sentinel += stride_) {
        masks_[sentinel] = kSentinel;
    }
}

Grid RandomMazeGenerator::generate(CancellationPoll poll, const RandomSources& sources) {
    if (running_) {
        throw std::logic_error("generate() is already running on this object");
    }
    // Cleared however the call ends.
    struct Running {
        explicit Running(bool& flag) : flag_(flag) { flag_ = true; }
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;
        ~Running() { flag_ = false; }
        bool& flag_;
    } running(running_);
    if (cellRows_ == 0 || cellCols_ == 0) {
        return draw(poll);
    }
    if (state_ == State::Abandoned) {
        resetMasks();
    }
    std::mt19937 engine(static_cast<std::uint32_t>(sources.clock()));
    const std::uint64_t startCol = engine() % cellCols_;
    const std::uint64_t startRow = engine() % cellRows_;
    if (state_ != State::Carved) {
        state_ = State::Abandoned; // until the carving is complete
    }
    carve(startRow, startCol, poll, sources);
    state_ = State::Carved;
    return draw(poll);
}

void RandomMazeGenerator::carve(std::uint64_t startRow, std::uint64_t startCol,
                                CancellationPoll& poll, const RandomSources& sources) {
    const DirectionShuffler shuffle(sources);
    // Mask index steps by direction code (Left, Right, Down, Up), wrapping modulo 2^64 for the
    // negative ones. Sentinels all round the rectangle stop every step that would leave it.
    const std::array<std::uint64_t, 4> steps{UINT64_MAX, 1, stride_, 0 - stride_};
    // Each frame is a cell in progress; the top one is the cell that a recursive carving would
    // be running in, and it tries its next direction before anything below it resumes.
    std::vector<Frame> stack;
    stack.reserve(cellRows_ * cellCols_);
    stack.emplace_back(maskIndex(startRow, startCol), shuffle());
    while (!stack.empty()) {
        Frame& top = stack.back();
        const std::uint64_t cell = top.cell();
        // Trying the directions one by one would branch on each outcome; a direction whose
        // neighbour was entered is skipped without effect, so the first untried one that leads
        // to an unentered neighbour is found at once.
        unsigned open = 0;
        for (unsigned position = 0; position < 4; ++position) {
            open |= (masks_[cell + steps[top.code(position)]] == 0 ? 1u : 0u) << position;
        }
        open &= top.untried();
        if (open == 0) {
            stack.pop_back();
            continue;
        }
        const auto position = platform::trailingZeros32(open);
        const unsigned code = top.code(position);
        top.setTried(position + 1);
        poll.tick(); // before the passage, so a carving stopped here is never complete
        const std::uint64_t neighbour = cell + steps[code];
        const auto direction = static_cast<std::uint8_t>(1u << code);
        masks_[cell] |= direction;
        masks_[neighbour] |= kOpposite[direction];
        stack.emplace_back(neighbour, shuffle()); // `top` is not used after this
    }
}

Grid RandomMazeGenerator::draw(CancellationPoll& poll) const {
    const std::uint64_t gridRows = 2 * cellRows_;
    const std::uint64_t gridCols = 2 * cellCols_;
    Grid grid;
    grid.reserve(gridRows, gridRows * gridCols);
    for (std::uint64_t row = 0; row < cellRows_; ++row) {
        const std::uint8_t* masks = cellCols_ == 0 ? nullptr : masks_.data() + maskIndex(row, 0);
        std::uint8_t* cells = grid.appendRow(gridCols);
        for (std::uint64_t col = 0; col < cellCols_; ++col) {
            cells[2 * col] = 1;
            cells[2 * col + 1] = (masks[col] & Right) != 0 ? 1 : 0;
        }
        std::uint8_t* links = grid.appendRow(gridCols);
        for (std::uint64_t col = 0; col < cellCols_; ++col) {
            links[2 * col] = (masks[col] & Down) != 0 ? 1 : 0;
        }
        poll.tick(cellCols_ / 16 + 1);
    }
    return grid;
}

} // namespace corridex
