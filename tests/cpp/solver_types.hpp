#pragma once

// The solver classes as GoogleTest type lists, with readable test names.

#include "tests/support/solver_checks.hpp"

#include <gtest/gtest.h>
#include <string>

namespace corridex::testing {

using AllSolvers = ::testing::Types<DepthFirstSearch, BreadthFirstSearch, DijkstraAlgorithm, AStar,
                                    BellmanFord, FloydWarshall>;

struct SolverNames {
    template <class Solver>
    static std::string GetName(int) {
        return checks::solverName<Solver>();
    }
};

} // namespace corridex::testing
