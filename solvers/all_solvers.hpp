#pragma once

// The header of each row of solvers/solver_table.def, written by CMakeLists.txt.
#include "solvers/solver_headers.hpp"

#include <type_traits>

namespace corridex {

// A list of solver classes, carried as a type.
template <class... Solvers>
struct SolverList {};

namespace detail {
template <class First, class... Solvers>
struct SolverListAfterFirst {
    using type = SolverList<Solvers...>;
};
} // namespace detail

// Every solver, in the order the bindings register them: the rows of solvers/solver_table.def,
// the one list that the binding, the typed tests and the invariant checks iterate. A new solver
// is one more row there.
// clang-format off
#define CORRIDEX_SOLVER(name, ...) , name
using AllSolvers = detail::SolverListAfterFirst<void
#include "solvers/solver_table.def"
>::type;
#undef CORRIDEX_SOLVER
// clang-format on

template <class T, class List>
struct InSolverList : std::false_type {};
template <class T, class... Solvers>
struct InSolverList<T, SolverList<Solvers...>>
    : std::bool_constant<(std::is_same_v<T, Solvers> || ...)> {};

// Whether T is one of AllSolvers.
template <class T>
inline constexpr bool kIsSolver = InSolverList<T, AllSolvers>::value;

// Names one solver class in a call, without an object of it.
template <class Solver>
struct SolverTag {
    using type = Solver;
};

// Calls visit(SolverTag<Solver>{}) for each solver of `list`, in order.
template <class Visit, class... Solvers>
void forEachSolver(SolverList<Solvers...> /*list*/, Visit&& visit) {
    (visit(SolverTag<Solvers>{}), ...);
}

// The same over AllSolvers.
template <class Visit>
void forEachSolver(Visit&& visit) {
    forEachSolver(AllSolvers{}, visit);
}

} // namespace corridex
