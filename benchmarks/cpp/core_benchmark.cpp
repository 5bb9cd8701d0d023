// Google Benchmark of the C++ core alone: graph building per grid cell, each search per expanded
// node, and a textbook breadth-first search over a raw bit grid as the yardstick. The second
// argument picks the grid: 0 a perfect maze, otherwise the percentage of open cells of a random
// grid with scattered walls (corner to corner).
//
//   cmake -S . -B build/bench -G Ninja -DCORRIDEX_BUILD_BENCHMARKS=ON && cmake --build build/bench
//   build/bench/corridex_core_benchmark
//
// Two builds: /usr/share/benchmark/compare.py benchmarks BEFORE AFTER (benchmarks/README.md).

#include "maze/cell_graph.hpp"
#include "maze/corridor_graph.hpp"
#include "maze/graph_nodes.hpp"
#include "maze/grid.hpp"
#include "solvers/a_star.hpp"
#include "solvers/bellman_ford.hpp"
#include "solvers/breadth_first_search.hpp"
#include "solvers/depth_first_search.hpp"
#include "solvers/dijkstra_algorithm.hpp"
#include "solvers/floyd_warshall.hpp"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <random>
#include <vector>

namespace corridex {
namespace {

// A perfect maze in the generator's layout: cell (r, c) at grid (2r, 2c), passages between
// them, a side of 2 * cells grid cells. Carved from a fixed seed so every run measures the same.
Grid perfectMaze(std::size_t cells, std::uint32_t seed = 1) {
    const std::size_t side = 2 * cells;
    std::vector<std::uint8_t> open(side * side, 0);
    std::vector<std::uint8_t> seen(cells * cells, 0);
    std::mt19937 random(seed);
    std::vector<std::size_t> stack{0};
    seen[0] = 1;
    open[0] = 1;
    while (!stack.empty()) {
        const std::size_t cell = stack.back();
        const std::size_t r = cell / cells;
        const std::size_t c = cell % cells;
        std::size_t options[4];
        std::size_t count = 0;
        if (r > 0 && seen[cell - cells] == 0)
            options[count++] = cell - cells;
        if (r + 1 < cells && seen[cell + cells] == 0)
            options[count++] = cell + cells;
        if (c > 0 && seen[cell - 1] == 0)
            options[count++] = cell - 1;
        if (c + 1 < cells && seen[cell + 1] == 0)
            options[count++] = cell + 1;
        if (count == 0) {
            stack.pop_back();
            continue;
        }
        const std::size_t next = options[random() % count];
        const std::size_t nr = next / cells;
        const std::size_t nc = next % cells;
        seen[next] = 1;
        open[(r + nr) * side + (c + nc)] = 1;
        open[2 * nr * side + 2 * nc] = 1;
        stack.push_back(next);
    }
    Grid grid;
    grid.reserve(side, side * side);
    for (std::size_t row = 0; row < side; ++row) {
        std::uint8_t* cellsOut = grid.appendRow(side);
        for (std::size_t col = 0; col < side; ++col) {
            cellsOut[col] = open[row * side + col];
        }
    }
    return grid;
}

// Each cell open with probability `percent` / 100, from a fixed seed; the top row and the right
// column open, so that the corners are joined (the rule of corridex_support.grids.open_grid).
Grid openGrid(std::size_t side, int percent) {
    const std::size_t seed = side * 1000 + static_cast<std::size_t>(percent);
    std::mt19937 random(static_cast<std::uint32_t>(seed));
    std::uniform_int_distribution<int> hundred(0, 99);
    Grid grid;
    grid.reserve(side, side * side);
    for (std::size_t row = 0; row < side; ++row) {
        std::uint8_t* cells = grid.appendRow(side);
        for (std::size_t col = 0; col < side; ++col) {
            const bool edge = row == 0 || col + 1 == side;
            cells[col] = static_cast<std::uint8_t>(hundred(random) < percent || edge);
        }
    }
    return grid;
}

struct Case {
    Grid grid;
    Index start;
    Index end;
};

// The grid of a benchmark's arguments (side, then 0 for a maze or the open percentage), made once.
const Case& caseOf(const benchmark::State& state) {
    const auto side = static_cast<std::size_t>(state.range(0));
    const auto percent = static_cast<int>(state.range(1));
    static std::vector<std::pair<std::pair<std::size_t, int>, Case>> cache;
    for (const auto& entry : cache) {
        if (entry.first == std::make_pair(side, percent)) {
            return entry.second;
        }
    }
    if (percent == 0) {
        Grid grid = perfectMaze(side / 2);
        const Index end{grid.rowCount() - 2, grid.width() - 2};
        cache.push_back({{side, percent}, Case{std::move(grid), Index{0, 0}, end}});
    } else {
        cache.push_back({{side, percent},
                         Case{openGrid(side, percent), Index{0, 0}, Index{side - 1, side - 1}}});
    }
    return cache.back().second;
}

const Grid& mazeOfSide(std::size_t side) {
    static std::vector<std::pair<std::size_t, Grid>> cache;
    for (const auto& entry : cache) {
        if (entry.first == side) {
            return entry.second;
        }
    }
    cache.emplace_back(side, perfectMaze(side / 2));
    return cache.back().second;
}

Index farCorner(const Grid& grid) {
    return Index{grid.rowCount() - 2, grid.width() - 2};
}

template <class Node, class Build>
void buildGraph(benchmark::State& state, Build build) {
    const Case& maze = caseOf(state);
    const Grid& grid = maze.grid;
    std::size_t nodes = 0;
    for (auto _ : state) {
        auto graph = build(grid, maze.start, maze.end);
        nodes = graph.nodes.size();
        benchmark::DoNotOptimize(graph.nodes.data());
    }
    const double cells = static_cast<double>(grid.cellCount());
    state.counters["ns_per_cell"] = benchmark::Counter(
        cells, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["bytes_per_node"] = static_cast<double>(sizeof(Node));
}

void BM_BuildCorridorGraph(benchmark::State& state) {
    buildGraph<DistanceNode>(state, buildCorridorGraph<DistanceNode>);
}
void BM_BuildCellGraph(benchmark::State& state) {
    buildGraph<BreadthFirstNode>(state, buildCellGraph<BreadthFirstNode>);
}

// Times solve() alone; each iteration gets a fresh solver, built while the clock is paused.
// Each recorded cell is one expansion (BellmanFord records each node a pass improves).
template <class Solver>
void BM_Solve(benchmark::State& state) {
    const Case& maze = caseOf(state);
    std::uint64_t traversed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Solver solver(maze.grid, maze.start, maze.end);
        state.ResumeTiming();
        solver.solve();
        traversed = solver.results().traversed.size();
        benchmark::DoNotOptimize(solver.results().distance);
    }
    state.counters["ns_per_expansion"] = benchmark::Counter(
        static_cast<double>(traversed),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["traversed"] = static_cast<double>(traversed);
}

// The yardstick: breadth-first search straight over a bit grid, neighbours computed on the fly,
// recording the visit order and the route back from the end as the cell-graph search does.
void BM_TextbookBfsOverBits(benchmark::State& state) {
    const Grid& grid = mazeOfSide(static_cast<std::size_t>(state.range(0)));
    const std::size_t rows = grid.rowCount();
    const std::size_t cols = grid.width();
    std::vector<std::uint64_t> bits((rows * cols + 63) / 64, 0);
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < cols; ++c) {
            if (grid.row(r)[c] != 0) {
                bits[(r * cols + c) / 64] |= std::uint64_t{1} << ((r * cols + c) % 64);
            }
        }
    }
    auto isOpen = [&](std::size_t cell) { return ((bits[cell / 64] >> (cell % 64)) & 1U) != 0; };
    const std::size_t target = farCorner(grid).row * cols + farCorner(grid).col;
    std::uint64_t traversedCount = 0;
    for (auto _ : state) {
        std::vector<std::uint64_t> seen(bits.size(), 0);
        std::vector<std::uint32_t> parent(rows * cols);
        std::vector<std::uint32_t> queue;
        std::vector<Index> traversed;
        queue.push_back(0);
        seen[0] |= 1;
        for (std::size_t front = 0; front < queue.size(); ++front) {
            const std::size_t cell = queue[front];
            traversed.push_back(Index{cell / cols, cell % cols});
            if (cell == target) {
                break;
            }
            const std::size_t r = cell / cols;
            const std::size_t c = cell % cols;
            const std::size_t candidates[4] = {
                r > 0 ? cell - cols : SIZE_MAX, r + 1 < rows ? cell + cols : SIZE_MAX,
                c > 0 ? cell - 1 : SIZE_MAX, c + 1 < cols ? cell + 1 : SIZE_MAX};
            for (const std::size_t next : candidates) {
                if (next == SIZE_MAX || !isOpen(next) || ((seen[next / 64] >> (next % 64)) & 1U)) {
                    continue;
                }
                seen[next / 64] |= std::uint64_t{1} << (next % 64);
                parent[next] = static_cast<std::uint32_t>(cell);
                queue.push_back(static_cast<std::uint32_t>(next));
            }
        }
        std::vector<Index> path;
        for (std::size_t cell = target; cell != 0; cell = parent[cell]) {
            path.push_back(Index{cell / cols, cell % cols});
        }
        path.push_back(Index{0, 0});
        traversedCount = traversed.size();
        benchmark::DoNotOptimize(path.data());
    }
    state.counters["ns_per_traversed"] = benchmark::Counter(
        static_cast<double>(traversedCount),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["traversed"] = static_cast<double>(traversedCount);
}

// FloydWarshall's relaxation rate, n^3 steps per second.
void BM_FloydWarshallSteps(benchmark::State& state) {
    const Grid& grid = mazeOfSide(static_cast<std::size_t>(state.range(0)));
    std::uint64_t steps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FloydWarshall solver(grid, Index{0, 0}, farCorner(grid));
        state.ResumeTiming();
        solver.solve();
        steps = solver.traversedNodesNo();
    }
    state.counters["steps_per_second"] = benchmark::Counter(
        static_cast<double>(steps), benchmark::Counter::kIsIterationInvariantRate);
}

// The same on an open square, where every cell is a node and few rows can be skipped.
void BM_FloydWarshallOpenGrid(benchmark::State& state) {
    const auto side = static_cast<std::size_t>(state.range(0));
    Grid grid;
    for (std::size_t r = 0; r < side; ++r) {
        std::fill_n(grid.appendRow(side), side, std::uint8_t{1});
    }
    std::uint64_t steps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FloydWarshall solver(grid, Index{0, 0}, Index{side - 1, side - 1});
        state.ResumeTiming();
        solver.solve();
        steps = solver.traversedNodesNo();
    }
    state.counters["steps_per_second"] = benchmark::Counter(
        static_cast<double>(steps), benchmark::Counter::kIsIterationInvariantRate);
}

constexpr int kSide = 2000;

// A maze, then open grids at 60, 70, 85 and 100% of 1000 x 1000, and 70% of 2000 x 2000.
void gridKinds(benchmark::internal::Benchmark* benchmark) {
    benchmark->Args({kSide, 0})->Args({1000, 60})->Args({1000, 70});
    benchmark->Args({1000, 85})->Args({1000, 100});
    benchmark->Args({kSide, 70})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_BuildCorridorGraph)->Apply(gridKinds);
BENCHMARK(BM_BuildCellGraph)->Apply(gridKinds);
BENCHMARK(BM_TextbookBfsOverBits)->Arg(kSide)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Solve, BreadthFirstSearch)->Apply(gridKinds);
BENCHMARK_TEMPLATE(BM_Solve, DepthFirstSearch)->Apply(gridKinds);
BENCHMARK_TEMPLATE(BM_Solve, DijkstraAlgorithm)->Apply(gridKinds);
BENCHMARK_TEMPLATE(BM_Solve, AStar)->Apply(gridKinds);
BENCHMARK_TEMPLATE(BM_Solve, BellmanFord)
    ->Args({kSide, 0})
    ->Args({1000, 85})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloydWarshallSteps)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloydWarshallOpenGrid)->Arg(40)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace corridex

BENCHMARK_MAIN();
