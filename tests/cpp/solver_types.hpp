#pragma once

// The solver classes as GoogleTest type lists, with readable test names.

#include "solvers/all_solvers.hpp"
#include "tests/support/solver_checks.hpp"

#include <gtest/gtest.h>
#include <string>

namespace corridex::testing {

template <class List>
struct GTestTypes;
template <class... Solvers>
struct GTestTypes<SolverList<Solvers...>> {
    using type = ::testing::Types<Solvers...>;
};

using AllSolvers = GTestTypes<corridex::AllSolvers>::type;

struct SolverNames {
    template <class Solver>
    static std::string GetName(int) {
        return Solver::kName;
    }
};

} // namespace corridex::testing
