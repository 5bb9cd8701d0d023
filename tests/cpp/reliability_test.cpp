// Long work stays under the caller's control: every solver polls its cancellation callback at
// least once per few thousand units of work, a solve abandoned by the callback leaves the object
// readable and is redone by the next solve() exactly as a fresh object would do it, and
// FloydWarshall refuses tables that cannot fit in memory before allocating them.

#include "maze/cancellation.hpp"
#include "solver_types.hpp"
#include "system/memory_budget.hpp"
#include "system/platform.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace corridex {
namespace {

Grid openGrid(std::size_t rows, std::size_t cols) {
    Grid grid;
    for (std::size_t r = 0; r < rows; ++r) {
        std::fill_n(grid.appendRow(cols), cols, std::uint8_t{1});
    }
    return grid;
}

// An open square whose last row is walled off but for its last cell, the end: every search
// explores all of it and finds no route.
Grid sealedSquare(std::size_t side) {
    Grid grid;
    for (std::size_t r = 0; r < side; ++r) {
        std::uint8_t* cells = grid.appendRow(side);
        if (r + 2 < side) {
            std::fill_n(cells, side, std::uint8_t{1});
        } else if (r + 1 == side) {
            cells[side - 1] = 1;
        }
    }
    return grid;
}

// Open rows of `width` cells joined at alternate ends into one long winding corridor; with the
// start at the bottom, each BellmanFord pass climbs about one row against the store order.
Grid serpentine(std::size_t corridors, std::size_t width) {
    Grid grid;
    for (std::size_t i = 0; i < corridors; ++i) {
        std::fill_n(grid.appendRow(width), width, std::uint8_t{1});
        if (i + 1 < corridors) {
            grid.appendRow(width)[i % 2 == 0 ? width - 1 : 0] = 1;
        }
    }
    return grid;
}

struct Maze {
    Grid grid;
    Index start;
    Index end;
};

// A maze on which the solver works for a while.
template <class Solver>
Maze longMaze() {
    if constexpr (std::is_same_v<Solver, FloydWarshall>) {
        return {openGrid(24, 24), {0, 0}, {23, 23}};
    } else if constexpr (std::is_same_v<Solver, BellmanFord>) {
        Grid grid = serpentine(40000, 3);
        const Index bottom{grid.rowCount() - 1, 0};
        return {std::move(grid), bottom, {0, 0}};
    } else {
        return {sealedSquare(700), {0, 0}, {699, 699}};
    }
}

// Mazes whose solve the poll abandons part way, with the poll that abandons it: the third poll
// at the usual interval, and the first of a poll every 8 units of work.
template <class Solver>
std::vector<std::pair<Maze, CancellationPoll>> abandonedMazes() {
    std::vector<std::pair<Maze, CancellationPoll>> mazes;
    if constexpr (std::is_same_v<Solver, FloydWarshall>) {
        mazes.emplace_back(Maze{openGrid(16, 16), {15, 0}, {0, 15}}, checks::abandonAt(3));
        mazes.emplace_back(Maze{openGrid(20, 20), {0, 0}, {19, 19}}, checks::abandonAt(1, 8));
    } else {
        Grid winding = serpentine(20000, 3);
        const Index bottom{winding.rowCount() - 1, 0};
        mazes.emplace_back(Maze{std::move(winding), bottom, {0, 0}}, checks::abandonAt(3));
        mazes.emplace_back(Maze{serpentine(150, 300), {0, 0}, {298, 299}},
                           checks::abandonAt(1, 8));
    }
    return mazes;
}

template <class Solver>
class LongSolve : public ::testing::Test {};
TYPED_TEST_SUITE(LongSolve, testing::AllSolvers, testing::SolverNames);

// The least work a solve has done, in units of the poll: a node taken from the queue or stack
// is one, a BellmanFord unit relaxes at most four corridors of one node, and a FloydWarshall
// unit covers at most 16 entries of a table row. Rows without a route to round k's node are
// skipped; on an open square, numbered row by row, round k still relaxes the k rows before it.
template <class Solver>
std::uint64_t workSeen(const Solver& solver) {
    const std::uint64_t recorded = solver.results().traversed.size();
    if constexpr (std::is_same_v<Solver, FloydWarshall>) {
        return recorded * (recorded - 1) / 2 * (recorded / 16);
    } else if constexpr (std::is_same_v<Solver, BellmanFord>) {
        return recorded / 4;
    } else {
        return recorded;
    }
}

TYPED_TEST(LongSolve, PollsAtLeastOncePerIntervalOfWork) {
    const Maze maze = longMaze<TypeParam>();
    TypeParam solver(maze.grid, maze.start, maze.end);
    std::uint64_t polls = 0;
    solver.solve(CancellationPoll([&] { ++polls; }));
    EXPECT_GE(polls, 5U);
    // At most the interval plus one tick's units pass between two polls; FloydWarshall's ticks
    // on 24 x 24 nodes are the largest here, 576 / 16 + 1.
    const std::uint64_t perPoll = CancellationPoll::kDefaultInterval + 37;
    EXPECT_GE((polls + 1) * perPoll, workSeen(solver)) << polls << " polls";
}

TYPED_TEST(LongSolve, AbandonedSolveIsRedoneLikeAFreshOne) {
    for (auto& [maze, abandoning] : abandonedMazes<TypeParam>()) {
        checks::Solves solves;
        ASSERT_NO_THROW(solves = checks::solveChecked<TypeParam>(maze.grid, maze.start, maze.end,
                                                                 std::move(abandoning)));
        EXPECT_TRUE(solves.abandoned) << "the poll never fired";
        ASSERT_FALSE(solves.fresh.path.empty());
        if constexpr (std::is_same_v<TypeParam, FloydWarshall>) {
            // Nodes are recorded only once the tables are done.
            EXPECT_TRUE(solves.partial.traversed.empty());
        }
    }
}

// A maze with a long route, polled every 64 units: many polls fall in the route's tracing.
template <class Solver>
Maze longRoute() {
    if constexpr (std::is_same_v<Solver, FloydWarshall>) {
        return {openGrid(10, 10), {0, 0}, {9, 9}};
    } else {
        return {serpentine(200, 20), {0, 0}, {398, 0}};
    }
}

TYPED_TEST(LongSolve, EveryPollInTurnAbandonsOrReentersWithoutAHalfRoute) {
    const Maze maze = longRoute<TypeParam>();
    TypeParam fresh(maze.grid, maze.start, maze.end);
    fresh.solve();
    constexpr std::int64_t kInterval = 64;
    struct Abandon {};
    bool cutShort = true;
    for (std::uint64_t at = 1; cutShort; ++at) {
        // Abandoned at poll `at`: no route, no distance, and the next solve is a fresh one's.
        TypeParam solver(maze.grid, maze.start, maze.end);
        std::uint64_t polls = 0;
        cutShort = false;
        try {
            solver.solve(CancellationPoll(
                [&] {
                    if (++polls == at) {
                        throw Abandon{};
                    }
                },
                kInterval));
        } catch (const Abandon&) {
            cutShort = true;
        }
        if (!cutShort) {
            break;
        }
        if constexpr (std::is_same_v<TypeParam, FloydWarshall>) {
            EXPECT_TRUE(solver.results().traversed.empty()) << "poll " << at;
        }
        EXPECT_TRUE(solver.results().path.empty()) << "poll " << at;
        EXPECT_EQ(solver.results().distance, 0U) << "poll " << at;
        solver.solve();
        EXPECT_EQ(solver.results().path, fresh.results().path) << "poll " << at;
        EXPECT_EQ(solver.results().traversed, fresh.results().traversed) << "poll " << at;

        // Re-entered at poll `at`: the inner solve() throws, the outer one completes as fresh.
        TypeParam reentered(maze.grid, maze.start, maze.end);
        polls = 0;
        bool refused = false;
        reentered.solve(CancellationPoll(
            [&] {
                if (++polls == at) {
                    EXPECT_THROW(reentered.solve(), std::logic_error);
                    refused = true;
                }
            },
            kInterval));
        EXPECT_TRUE(refused);
        EXPECT_EQ(reentered.results().path, fresh.results().path) << "poll " << at;
        EXPECT_EQ(reentered.results().traversed, fresh.results().traversed) << "poll " << at;
        EXPECT_EQ(reentered.results().distance, fresh.results().distance) << "poll " << at;
    }
}

TEST(MemoryBudget, FloydWarshallRefusesTablesLargerThanMemoryBeforeAllocating) {
    // An open square has a node in every cell: one whose tables are twice the machine's memory
    // even at their narrowest, 8 n^2 bytes, and one of 1200 x 1200 nodes, 16 * 2.1e12 bytes.
    const std::uint64_t limit = platform::memoryLimit().bytes;
    if (limit == static_cast<std::uint64_t>(PTRDIFF_MAX)) {
        GTEST_SKIP() << "this build knows no memory limit";
    }
    const double nodes = std::sqrt(2.0 * static_cast<double>(limit) / 8.0);
    for (const std::size_t side :
         {static_cast<std::size_t>(std::ceil(std::sqrt(nodes))) + 1, std::size_t{1200}}) {
        FloydWarshall solver(openGrid(side, side), {0, 0}, {1, 1});
        try {
            solver.solve();
            ADD_FAILURE() << "a " << side << " x " << side << " open grid was solved";
        } catch (const std::bad_alloc& refused) {
            EXPECT_NE(std::string(refused.what()).find("would need about "), std::string::npos)
                << refused.what();
            EXPECT_NE(std::string(refused.what()).find("; the limit is "), std::string::npos)
                << refused.what();
        }
        EXPECT_TRUE(solver.results().traversed.empty());
        EXPECT_TRUE(solver.results().path.empty());
    }
}

TEST(MemoryBudget, ProductsBeyond64BitsAreRefused) {
    EXPECT_EQ(checkedProduct(UINT64_C(1) << 32, (UINT64_C(1) << 32) - 1, "x"),
              (UINT64_C(1) << 32) * ((UINT64_C(1) << 32) - 1));
    EXPECT_THROW(checkedProduct(UINT64_C(1) << 32, UINT64_C(1) << 32, "x"), std::bad_alloc);
    EXPECT_NO_THROW(requireFitsInMemory(1, "one byte"));
    EXPECT_THROW(requireFitsInMemory(UINT64_MAX, "everything"), std::bad_alloc);
}

TEST(MemoryBudget, SizesReadAsAPersonWouldWriteThem) {
    const std::pair<std::uint64_t, const char*> sizes[] = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {1023, "1023 bytes"},
        {1024, "1.0 KiB"},
        {1536, "1.5 KiB"},
        {(UINT64_C(1) << 20) - 1, "1.0 MiB"}, // not "1024.0 KiB"
        {UINT64_C(12) << 30, "12.0 GiB"},
        {UINT64_MAX, "16.0 EiB"},
    };
    for (const auto& [bytes, text] : sizes) {
        EXPECT_EQ(describeBytes(bytes), text) << bytes;
    }
}

} // namespace
} // namespace corridex
