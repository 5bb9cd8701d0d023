// Long work stays under the caller's control: every solver polls its cancellation callback every
// few milliseconds, a solve abandoned by the callback leaves the object readable and is redone
// by the next solve() exactly as a fresh object would do it, and FloydWarshall refuses tables
// that cannot fit in memory before allocating them.

#include "maze/address_sanitizer.hpp"
#include "maze/cancellation.hpp"
#include "maze/memory_budget.hpp"
#include "maze/platform.hpp"
#include "solvers/a_star.hpp"
#include "solvers/bellman_ford.hpp"
#include "solvers/breadth_first_search.hpp"
#include "solvers/depth_first_search.hpp"
#include "solvers/dijkstra_algorithm.hpp"
#include "solvers/floyd_warshall.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <new>
#include <string>
#include <type_traits>

namespace corridex {
namespace {

constexpr bool kSanitized = kAddressSanitizer;

#ifdef NDEBUG
constexpr bool kOptimised = true;
#else
constexpr bool kOptimised = false;
#endif

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

// A maze on which the solver works for a while, and the number of polls to let pass before
// abandoning a solve of it.
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

template <class Solver>
Maze windingMaze() {
    if constexpr (std::is_same_v<Solver, FloydWarshall>) {
        return {openGrid(16, 16), {15, 0}, {0, 15}};
    } else {
        Grid grid = serpentine(20000, 3);
        const Index bottom{grid.rowCount() - 1, 0};
        return {std::move(grid), bottom, {0, 0}};
    }
}

template <class Solver>
class LongSolve : public ::testing::Test {};

using SolverTypes = ::testing::Types<DepthFirstSearch, BreadthFirstSearch, DijkstraAlgorithm,
                                     AStar, BellmanFord, FloydWarshall>;

class SolverNames {
public:
    template <class Solver>
    static std::string GetName(int) {
        if constexpr (std::is_same_v<Solver, DepthFirstSearch>)
            return "DepthFirstSearch";
        if constexpr (std::is_same_v<Solver, BreadthFirstSearch>)
            return "BreadthFirstSearch";
        if constexpr (std::is_same_v<Solver, DijkstraAlgorithm>)
            return "DijkstraAlgorithm";
        if constexpr (std::is_same_v<Solver, AStar>)
            return "AStar";
        if constexpr (std::is_same_v<Solver, BellmanFord>)
            return "BellmanFord";
        return "FloydWarshall";
    }
};

TYPED_TEST_SUITE(LongSolve, SolverTypes, SolverNames);

TYPED_TEST(LongSolve, PollsEveryFewMilliseconds) {
    if (kSanitized || !kOptimised) {
        GTEST_SKIP() << "timings only mean something in an optimised, uninstrumented build";
    }
    using Clock = std::chrono::steady_clock;
    const Maze maze = longMaze<TypeParam>();
    TypeParam solver(maze.grid, maze.start, maze.end);

    Clock::time_point last = Clock::now();
    double longestGap = 0;
    int polls = 0;
    auto noteGap = [&] {
        const Clock::time_point now = Clock::now();
        longestGap =
            std::max(longestGap, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    };
    last = Clock::now();
    solver.solve(CancellationPoll([&] {
        noteGap();
        ++polls;
    }));
    noteGap();

    EXPECT_GE(polls, 5);
    // A few milliseconds is the aim; the bound leaves room for a loaded machine.
    EXPECT_LT(longestGap, 50.0) << polls << " polls";
}

TYPED_TEST(LongSolve, AbandonedSolveIsRedoneLikeAFreshOne) {
    const Maze maze = windingMaze<TypeParam>();
    TypeParam fresh(maze.grid, maze.start, maze.end);
    fresh.solve();
    ASSERT_FALSE(fresh.results().path.empty());

    struct Stop {};
    TypeParam solver(maze.grid, maze.start, maze.end);
    int polls = 0;
    EXPECT_THROW(solver.solve(CancellationPoll([&] {
        if (++polls == 3) {
            throw Stop{};
        }
    })),
                 Stop);
    // Whatever the abandoned solve recorded is still a readable part of the full results.
    EXPECT_LE(solver.results().traversed.size(), fresh.results().traversed.size());
    EXPECT_LE(solver.results().path.size(), fresh.results().path.size());

    solver.solve();
    EXPECT_EQ(solver.results().path, fresh.results().path);
    EXPECT_EQ(solver.results().traversed, fresh.results().traversed);
    EXPECT_EQ(solver.results().distance, fresh.results().distance);
    EXPECT_EQ(solver.traversedNodesNo(), fresh.traversedNodesNo());
}

TEST(MemoryBudget, FloydWarshallRefusesTablesLargerThanMemoryBeforeAllocating) {
    // An open square has a node in every cell; pick one whose tables are twice the machine's
    // memory even at their narrowest, 8 n^2 bytes.
    const double nodes =
        std::sqrt(2.0 * static_cast<double>(platform::physicalMemoryBytes()) / 8.0);
    const auto side = static_cast<std::size_t>(std::ceil(std::sqrt(nodes))) + 1;
    FloydWarshall solver(openGrid(side, side), {0, 0}, {side - 1, side - 1});
    try {
        solver.solve();
        FAIL() << "a " << side << " x " << side << " open grid was solved";
    } catch (const std::bad_alloc& refused) {
        EXPECT_NE(std::string(refused.what()).find("more than this machine's memory"),
                  std::string::npos)
            << refused.what();
    }
    EXPECT_TRUE(solver.results().traversed.empty());
    EXPECT_TRUE(solver.results().path.empty());
}

TEST(MemoryBudget, ProductsBeyond64BitsAreRefused) {
    EXPECT_EQ(checkedProduct(UINT64_C(1) << 32, (UINT64_C(1) << 32) - 1, "x"),
              (UINT64_C(1) << 32) * ((UINT64_C(1) << 32) - 1));
    EXPECT_THROW(checkedProduct(UINT64_C(1) << 32, UINT64_C(1) << 32, "x"), std::bad_alloc);
    EXPECT_NO_THROW(requireFitsInMemory(1, "one byte"));
    EXPECT_THROW(requireFitsInMemory(UINT64_MAX, "everything"), std::bad_alloc);
}

} // namespace
} // namespace corridex
