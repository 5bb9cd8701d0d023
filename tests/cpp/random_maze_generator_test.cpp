#include "generator/random_maze_generator.hpp"
#include "system/platform.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace corridex {
namespace {

RandomSources constantSources(int draw, std::time_t clock) {
    RandomSources sources;
    sources.draw = [draw] { return draw; };
    sources.clock = [clock] { return clock; };
    return sources;
}

// Replays `values` in order, then fails the test if asked for more.
struct ScriptedDraw {
    std::vector<int> values;
    std::size_t taken = 0;
    int operator()() {
        if (taken == values.size()) {
            ADD_FAILURE() << "more draws than scripted";
            return 0;
        }
        return values[taken++];
    }
};

// A small linear congruential sequence of 15-bit values, like a classic rand.
std::function<int()> lcgDraw(std::uint32_t seed) {
    return [state = seed]() mutable {
        state = state * 1103515245u + 12345u;
        return static_cast<int>((state >> 16) & 0x7fff);
    };
}

// ---------------------------------------------------------------------------------------------
// Direction shuffle

struct OrderCase {
    const char* name;
    int draw;
    std::array<Direction, 4> order;
};

class ShuffleOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(ShuffleOrder, ConstantDrawGivesFixedOrder) {
    const RandomSources sources = constantSources(GetParam().draw, 0);
    EXPECT_EQ(DirectionShuffler(sources)(), GetParam().order);
}

INSTANTIATE_TEST_SUITE_P(Draws, ShuffleOrder,
                         testing::Values(OrderCase{"always0", 0, {Up, Left, Right, Down}},
                                         OrderCase{"always1", 1, {Left, Up, Right, Down}},
                                         OrderCase{"always3", 3, {Down, Right, Left, Up}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Shuffle, RejectsTheTopValuesForThreeWays) {
    // 32768 values: for a choice of 3, 32766 and 32767 are discarded, then 5 gives 5 % 3 = 2.
    auto script = std::make_shared<ScriptedDraw>(ScriptedDraw{{0, 32766, 32767, 5, 3}});
    RandomSources sources;
    sources.draw = [script] { return (*script)(); };
    sources.drawMax = 32767;
    EXPECT_EQ(DirectionShuffler(sources)(), (std::array<Direction, 4>{Right, Left, Down, Up}));
    EXPECT_EQ(script->taken, 5u);
}

TEST(Shuffle, DiscardsValuesAboveThePowerOfTwoRange) {
    // drawMax 40000 is not one below a power of two, so only 0..32767 count: 32768 and 40000
    // are discarded, then 32767 leaves position 1, 2 leaves position 2 and 1 swaps 3 with 1.
    auto script = std::make_shared<ScriptedDraw>(ScriptedDraw{{32768, 40000, 32767, 2, 1}});
    RandomSources sources;
    sources.draw = [script] { return (*script)(); };
    sources.drawMax = 40000;
    EXPECT_EQ(DirectionShuffler(sources)(), (std::array<Direction, 4>{Left, Up, Down, Right}));
    EXPECT_EQ(script->taken, 5u);
}

TEST(Shuffle, NeedsAtLeastFourValues) {
    RandomSources sources = constantSources(0, 0);
    sources.drawMax = 2;
    EXPECT_THROW(DirectionShuffler{sources}, std::invalid_argument);
}

// ---------------------------------------------------------------------------------------------
// Structure of the result

// Checks the grid against the masks, and that the masks form a spanning tree of the cells.
void expectPerfectMaze(const RandomMazeGenerator& generator, const Grid& grid) {
    const std::uint64_t rows = generator.cellRows();
    const std::uint64_t cols = generator.cellCols();
    ASSERT_EQ(grid.rowCount(), 2 * rows);
    for (std::uint64_t r = 0; r < grid.rowCount(); ++r) {
        ASSERT_EQ(grid.rowLength(r), 2 * cols);
    }
    std::uint64_t passages = 0;
    for (std::uint64_t r = 0; r < rows; ++r) {
        for (std::uint64_t c = 0; c < cols; ++c) {
            const std::uint8_t mask = generator.mask(r, c);
            ASSERT_NE(mask, 0) << "cell " << r << "," << c << " never entered";
            ASSERT_EQ(mask & ~0xF, 0);
            EXPECT_EQ(grid.row(2 * r)[2 * c], 1);
            EXPECT_EQ(grid.row(2 * r + 1)[2 * c + 1], 0);
            EXPECT_EQ(grid.row(2 * r)[2 * c + 1] != 0, (mask & Right) != 0);
            EXPECT_EQ(grid.row(2 * r + 1)[2 * c] != 0, (mask & Down) != 0);
            // Each passage is on both cells, and none leaves the rectangle.
            ASSERT_EQ((mask & Left) != 0, c > 0 && (generator.mask(r, c - 1) & Right) != 0);
            ASSERT_EQ((mask & Right) != 0, c + 1 < cols && (generator.mask(r, c + 1) & Left) != 0);
            ASSERT_EQ((mask & Up) != 0, r > 0 && (generator.mask(r - 1, c) & Down) != 0);
            ASSERT_EQ((mask & Down) != 0, r + 1 < rows && (generator.mask(r + 1, c) & Up) != 0);
            passages += ((mask & Right) != 0 ? 1u : 0u) + ((mask & Down) != 0 ? 1u : 0u);
        }
    }
    EXPECT_EQ(passages, rows * cols - 1);

    std::vector<bool> reached(rows * cols, false);
    std::vector<std::uint64_t> todo{0};
    reached[0] = true;
    std::uint64_t count = 0;
    while (!todo.empty()) {
        const std::uint64_t cell = todo.back();
        todo.pop_back();
        ++count;
        const std::uint64_t r = cell / cols;
        const std::uint64_t c = cell % cols;
        const std::uint8_t mask = generator.mask(r, c);
        const auto visit = [&](bool open, std::uint64_t next) {
            if (open && !reached[next]) {
                reached[next] = true;
                todo.push_back(next);
            }
        };
        visit((mask & Left) != 0, cell - 1);
        visit((mask & Right) != 0, cell + 1);
        visit((mask & Up) != 0, cell - cols);
        visit((mask & Down) != 0, cell + cols);
    }
    EXPECT_EQ(count, rows * cols) << "not every cell is connected";
}

struct SizeCase {
    const char* name;
    std::uint64_t width;
    std::uint64_t hight;
};

class GeneratedMaze : public testing::TestWithParam<SizeCase> {};

TEST_P(GeneratedMaze, IsAPerfectMazeDrawnCellByCell) {
    RandomMazeGenerator generator(GetParam().width, GetParam().hight);
    EXPECT_EQ(generator.cellRows(), GetParam().width / 2);
    EXPECT_EQ(generator.cellCols(), GetParam().hight / 2);
    expectPerfectMaze(generator, generator.generate());
}

TEST_P(GeneratedMaze, SecondGenerateReturnsAnEqualGrid) {
    RandomMazeGenerator generator(GetParam().width, GetParam().hight);
    const Grid first = generator.generate();
    EXPECT_EQ(generator.generate(CancellationPoll{}, constantSources(0, 12345)), first);
}

INSTANTIATE_TEST_SUITE_P(Sizes, GeneratedMaze,
                         testing::Values(SizeCase{"w4h4", 4, 4}, SizeCase{"w5h7", 5, 7},
                                         SizeCase{"w7h5", 7, 5}, SizeCase{"w20h30", 20, 30},
                                         SizeCase{"oneRow_w2h40", 2, 40},
                                         SizeCase{"oneColumn_w41h3", 41, 3},
                                         SizeCase{"w101h63", 101, 63},
                                         SizeCase{"w400h300", 400, 300}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GeneratedMazeShape, RowsFollowWidthAndRowLengthFollowsHight) {
    EXPECT_EQ(RandomMazeGenerator(5, 7).generate().rowCount(), 4u);
    EXPECT_EQ(RandomMazeGenerator(5, 7).generate().width(), 6u);
    EXPECT_EQ(RandomMazeGenerator(7, 5).generate().rowCount(), 6u);
    EXPECT_EQ(RandomMazeGenerator(7, 5).generate().width(), 4u);
}

TEST(GeneratedMazeShape, VeryDeepCarvingNeedsNoCallStack) {
    // Two thousand by two thousand cells: the chain of cells in progress gets far deeper than
    // any call stack would allow.
    RandomMazeGenerator generator(4000, 4000);
    expectPerfectMaze(generator, generator.generate());
}

// ---------------------------------------------------------------------------------------------
// Exact carving

// The carving as first described: recursive, with the same shuffle. Only for small mazes.
struct RecursiveCarving {
    std::uint64_t rows;
    std::uint64_t cols;
    std::vector<std::uint8_t> masks;
    DirectionShuffler shuffle;

    void carve(std::int64_t row, std::int64_t col) {
        for (const Direction d : shuffle()) {
            const std::int64_t nr = row + (d == Down ? 1 : 0) - (d == Up ? 1 : 0);
            const std::int64_t nc = col + (d == Right ? 1 : 0) - (d == Left ? 1 : 0);
            if (nr < 0 || nc < 0 || nr >= static_cast<std::int64_t>(rows) ||
                nc >= static_cast<std::int64_t>(cols) || at(nr, nc) != 0) {
                continue;
            }
            at(row, col) |= d;
            at(nr, nc) |= kOpposite[d];
            carve(nr, nc);
        }
    }
    std::uint8_t& at(std::int64_t row, std::int64_t col) {
        return masks[static_cast<std::uint64_t>(row) * cols + static_cast<std::uint64_t>(col)];
    }
};

struct ExactCase {
    const char* name;
    std::uint64_t width;
    std::uint64_t hight;
    std::time_t clock;
    std::uint32_t drawSeed;
};

class ExactCarving : public testing::TestWithParam<ExactCase> {};

TEST_P(ExactCarving, MatchesTheRecursiveCarvingMaskForMask) {
    const ExactCase& param = GetParam();
    RandomSources sources;
    sources.clock = [&] { return param.clock; };
    sources.drawMax = 32767;

    sources.draw = lcgDraw(param.drawSeed);
    RandomMazeGenerator generator(param.width, param.hight);
    generator.generate(CancellationPoll{}, sources);

    sources.draw = lcgDraw(param.drawSeed);
    const std::uint64_t rows = param.width / 2;
    const std::uint64_t cols = param.hight / 2;
    RecursiveCarving reference{rows, cols, std::vector<std::uint8_t>(rows * cols, 0),
                               DirectionShuffler(sources)};
    std::mt19937 engine(static_cast<std::uint32_t>(param.clock));
    const std::uint64_t startCol = engine() % cols;
    const std::uint64_t startRow = engine() % rows;
    reference.carve(static_cast<std::int64_t>(startRow), static_cast<std::int64_t>(startCol));

    for (std::uint64_t r = 0; r < rows; ++r) {
        for (std::uint64_t c = 0; c < cols; ++c) {
            ASSERT_EQ(generator.mask(r, c), reference.masks[r * cols + c])
                << "cell " << r << "," << c;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, ExactCarving,
                         testing::Values(ExactCase{"w20h30", 20, 30, 1700000000, 1},
                                         ExactCase{"w20h30_otherClock", 20, 30, 1700000001, 1},
                                         ExactCase{"w31h9", 31, 9, 42, 7},
                                         ExactCase{"w6h60", 6, 60, 99, 3},
                                         ExactCase{"w60h60", 60, 60, 123456789, 11}),
                         [](const auto& info) { return std::string(info.param.name); });

// With every draw 0 each cell tries Up, Left, Right, Down. From the top-left cell of a 2 x 2
// maze that carves right, down, left; from the bottom-right one up, left, down.
TEST(ExactCarving, TwoByTwoFromEachCorner) {
    const auto clockFor = [](std::uint64_t row, std::uint64_t col) {
        for (std::time_t clock = 0;; ++clock) {
            std::mt19937 engine(static_cast<std::uint32_t>(clock));
            const std::uint64_t c = engine() % 2;
            if (engine() % 2 == row && c == col) {
                return clock;
            }
        }
    };
    RandomMazeGenerator fromTopLeft(4, 4);
    EXPECT_EQ(fromTopLeft.generate(CancellationPoll{}, constantSources(0, clockFor(0, 0))),
              (Grid{{true, true, true, false},
                    {false, false, true, false},
                    {true, true, true, false},
                    {false, false, false, false}}));
    RandomMazeGenerator fromBottomRight(4, 4);
    EXPECT_EQ(fromBottomRight.generate(CancellationPoll{}, constantSources(0, clockFor(1, 1))),
              (Grid{{true, true, true, false},
                    {true, false, true, false},
                    {true, false, true, false},
                    {false, false, false, false}}));
}

// The start cell is where the first passage is carved from: with every draw 0 that passage
// leaves it Up (or Left, in the top row), and the second cell's shuffle is the fourth draw.
std::pair<std::uint64_t, std::uint64_t> observedStart(std::uint64_t width, std::uint64_t hight,
                                                      std::time_t clock) {
    RandomMazeGenerator generator(width, hight);
    std::pair<std::uint64_t, std::uint64_t> start{UINT64_MAX, UINT64_MAX};
    int draws = 0;
    RandomSources sources = constantSources(0, clock);
    sources.draw = [&] {
        if (++draws == 4) {
            for (std::uint64_t r = 0; r < generator.cellRows(); ++r) {
                for (std::uint64_t c = 0; c < generator.cellCols(); ++c) {
                    if (generator.mask(r, c) == Up || generator.mask(r, c) == Left) {
                        start = {r, c};
                    }
                }
            }
        }
        return 0;
    };
    generator.generate(CancellationPoll{}, sources);
    return start;
}

class StartCell : public testing::TestWithParam<std::time_t> {};

TEST_P(StartCell, ColumnFromFirstEngineOutputRowFromSecond) {
    const std::time_t clock = GetParam();
    std::mt19937 engine(static_cast<std::uint32_t>(clock));
    const std::uint64_t col = engine() % 15;
    const std::uint64_t row = engine() % 10;
    EXPECT_EQ(observedStart(20, 30, clock), std::make_pair(row, col));
}

INSTANTIATE_TEST_SUITE_P(Clocks, StartCell,
                         testing::Values(0, 1, 5489, 1700000000, 2147483647, 4000000000));

TEST(StartCellSeed, OnlyTheLow32BitsOfTheClockCount) {
    constexpr std::time_t kHigh = std::time_t{1} << 32;
    for (const std::time_t clock : {std::time_t{3}, std::time_t{1700000000}}) {
        EXPECT_EQ(observedStart(20, 30, clock + kHigh), observedStart(20, 30, clock));
        EXPECT_EQ(observedStart(20, 30, clock + 5 * kHigh), observedStart(20, 30, clock));
    }
}

// ---------------------------------------------------------------------------------------------
// Edge sizes, repeats and interruption

RandomSources forbiddenSources() {
    RandomSources sources;
    sources.draw = [] {
        ADD_FAILURE() << "drew from rand";
        return 0;
    };
    sources.clock = [] {
        ADD_FAILURE() << "read the clock";
        return std::time_t{0};
    };
    return sources;
}

class NoCells : public testing::TestWithParam<SizeCase> {};

TEST_P(NoCells, DrawsNothingAndReturnsEmptyRows) {
    RandomMazeGenerator generator(GetParam().width, GetParam().hight);
    const Grid grid = generator.generate(CancellationPoll{}, forbiddenSources());
    ASSERT_EQ(grid.rowCount(), 2 * (GetParam().width / 2));
    EXPECT_EQ(grid.cellCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, NoCells,
                         testing::Values(SizeCase{"defaults", 0, 0}, SizeCase{"w1h1", 1, 1},
                                         SizeCase{"w1h50", 1, 50}, SizeCase{"w50h1", 50, 1},
                                         SizeCase{"w10h0", 10, 0},
                                         SizeCase{"w0hMax", 0, UINT64_MAX}),
                         [](const auto& info) { return std::string(info.param.name); });

// A generate() called from its own poll throws before touching anything, at any poll; the
// running one draws exactly the maze a fresh generator draws from the same sources.
TEST(Reentry, GenerateCalledFromItsOwnPollIsRefused) {
    std::mt19937 draws(5);
    RandomSources sources;
    sources.draw = [&draws] { return static_cast<int>(draws() >> 1); };
    sources.clock = [] { return std::time_t{42}; };
    RandomMazeGenerator reference(101, 81);
    draws.seed(5);
    const Grid expected = reference.generate(CancellationPoll{}, sources);
    for (std::uint64_t at = 1; at <= 40; at += 3) {
        RandomMazeGenerator generator(101, 81);
        std::uint64_t polls = 0;
        bool refused = false;
        draws.seed(5);
        const Grid grid =
            generator.generate(CancellationPoll(
                                   [&] {
                                       if (++polls == at) {
                                           EXPECT_THROW(generator.generate(), std::logic_error);
                                           refused = true;
                                       }
                                   },
                                   16),
                               sources);
        EXPECT_TRUE(refused) << "poll " << at;
        EXPECT_EQ(grid, expected) << "poll " << at;
    }
}

TEST(SingleCell, CarvesNothingAndDrawsOneOpenCell) {
    for (const std::uint64_t size : {std::uint64_t{2}, std::uint64_t{3}}) {
        RandomMazeGenerator generator(size, size);
        const Grid grid = generator.generate();
        EXPECT_EQ(grid, (Grid{{true, false}, {false, false}}));
        EXPECT_EQ(generator.mask(0, 0), 0);
    }
}

TEST(Repeat, SecondGenerateStillSeedsAndShufflesTheStartCell) {
    RandomMazeGenerator generator(10, 10);
    int clockReads = 0;
    int draws = 0;
    RandomSources sources;
    sources.clock = [&] { return ++clockReads, std::time_t{77}; };
    sources.draw = [&] { return ++draws, 1; };
    const Grid first = generator.generate(CancellationPoll{}, sources);
    EXPECT_EQ(draws, 3 * 25);
    draws = 0;
    EXPECT_EQ(generator.generate(CancellationPoll{}, sources), first);
    EXPECT_EQ(clockReads, 2);
    EXPECT_EQ(draws, 3);
}

struct Interrupted {};

std::vector<std::uint8_t> allMasks(const RandomMazeGenerator& generator) {
    std::vector<std::uint8_t> masks;
    for (std::uint64_t r = 0; r < generator.cellRows(); ++r) {
        for (std::uint64_t c = 0; c < generator.cellCols(); ++c) {
            masks.push_back(generator.mask(r, c));
        }
    }
    return masks;
}

bool complete(const std::vector<std::uint8_t>& masks) {
    return std::find(masks.begin(), masks.end(), 0) == masks.end();
}

TEST(Interrupt, AbandonedCarvingIsStartedOverByTheNextGenerate) {
    RandomMazeGenerator generator(600, 600); // more cells than one poll interval
    std::vector<std::uint8_t> atInterrupt;
    EXPECT_THROW(generator.generate(CancellationPoll([&] {
        atInterrupt = allMasks(generator);
        throw Interrupted{};
    })),
                 Interrupted);
    ASSERT_FALSE(complete(atInterrupt));
    expectPerfectMaze(generator, generator.generate());
}

TEST(Interrupt, DuringDrawingKeepsTheFinishedMaze) {
    // One cell column: drawing polls about as often as carving, so some poll falls in it.
    RandomMazeGenerator generator(200000, 2);
    std::vector<std::uint8_t> atInterrupt;
    EXPECT_THROW(generator.generate(CancellationPoll([&] {
        atInterrupt = allMasks(generator);
        if (complete(atInterrupt)) {
            throw Interrupted{};
        }
    })),
                 Interrupted);
    const Grid grid = generator.generate();
    expectPerfectMaze(generator, grid);
    EXPECT_EQ(allMasks(generator), atInterrupt);
}

// ---------------------------------------------------------------------------------------------
// Sizes that cannot be held

TEST(HugeSizes, TooManyRowsToCountIsALengthError) {
    for (const std::uint64_t hight : {std::uint64_t{0}, std::uint64_t{4}, UINT64_MAX}) {
        try {
            RandomMazeGenerator generator(UINT64_MAX, hight);
            ADD_FAILURE() << "accepted width 2^64 - 1";
        } catch (const std::length_error& error) {
            EXPECT_STREQ(error.what(), "vector too long");
        }
    }
}

TEST(HugeSizes, MoreThanMemoryIsRefusedBeforeAllocating) {
    if (platform::memoryLimit().bytes == static_cast<std::uint64_t>(PTRDIFF_MAX)) {
        GTEST_SKIP() << "this build knows no memory limit";
    }
    const std::uint64_t big = std::uint64_t{1} << 40;
    EXPECT_THROW(RandomMazeGenerator(big, big), std::bad_alloc);
    EXPECT_THROW(RandomMazeGenerator(big, 0), std::bad_alloc);             // rows alone
    EXPECT_THROW(RandomMazeGenerator(2, UINT64_MAX), std::bad_alloc);      // one row, endless
    EXPECT_THROW(RandomMazeGenerator(1u << 20, 1u << 20), std::bad_alloc); // 2^38 cells
}

} // namespace
} // namespace corridex
