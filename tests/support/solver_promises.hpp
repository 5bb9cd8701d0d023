#pragma once

// What each solver promises about its results, one row per solver, read by the invariant checks:
// the columns of solvers/solver_table.def (whose comment describes them), which the Python checks
// read too (support/corridex_support/promises.py).

#include "solvers/all_solvers.hpp"

#include <cstddef>
#include <iterator>

namespace corridex::checks {

// Which graph the solver searches, and so which cells of a ragged grid it reads.
enum class Graph { Cell, Corridor };
// Which end the route starts from.
enum class Route { EndFirst, StartFirst };
// SrcToDestDistance when the end is reached: always the fewest steps, the reported route's own
// length, or a number never below the route's length.
enum class Distance { Fewest, RouteLength, AtLeastRoute };
// What the route holds when the end cannot be reached (the distance is then 0).
enum class Unreached { Empty, EndAlone };
// What TraversedNodes holds: each cell once with the start first; cells whose distance
// improved, never the start, repeats possible; every node of the graph once, in row-major order.
enum class Recorded { StartFirst, NeverStart, EveryNode };
// TraversedNodesNo: the number of recorded cells, or its cube modulo 2^64.
enum class Count { Recorded, Cube };
// What a second solve() does: nothing, or append a second copy of the results.
enum class SecondSolve { Same, Appends };

struct Promises {
    const char* name;
    Graph graph;
    Route route;
    Distance distance;
    Unreached unreached;
    Recorded recorded;
    Count count;
    SecondSolve secondSolve;
    std::size_t maxNodes; // the checks skip graphs larger than this (0: no limit)
};

// One row per solver, in the order of AllSolvers.
// clang-format off
#define CORRIDEX_SOLVER(name, header, graph, route, distance, unreached, recorded, count, second, \
                        maxNodes)                                                                \
    {#name, Graph::graph, Route::route, Distance::distance, Unreached::unreached,                  \
     Recorded::recorded, Count::count, SecondSolve::second, maxNodes},
inline constexpr Promises kPromises[] = {
#include "solvers/solver_table.def"
};
#undef CORRIDEX_SOLVER
// clang-format on

constexpr bool sameName(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// The row of kPromises named after Solver; a solver without a row does not compile.
template <class Solver>
constexpr const Promises& promisesOf() {
    constexpr std::size_t row = [] {
        std::size_t found = 0;
        while (found < std::size(kPromises) && !sameName(kPromises[found].name, Solver::kName)) {
            ++found;
        }
        return found;
    }();
    static_assert(row < std::size(kPromises), "the solver has no row in kPromises");
    return kPromises[row];
}

} // namespace corridex::checks
