#pragma once

#include "solvers/a_star.hpp"
#include "solvers/bellman_ford.hpp"
#include "solvers/breadth_first_search.hpp"
#include "solvers/depth_first_search.hpp"
#include "solvers/dijkstra_algorithm.hpp"
#include "solvers/floyd_warshall.hpp"

#include <type_traits>

namespace corridex {

// A list of solver classes, carried as a type.
template <class... Solvers>
struct SolverList {};

// Every solver, in the order the bindings register them: the one list that the binding, the
// typed tests and the invariant checks iterate. A new solver is one more entry here.
using AllSolvers = SolverList<DepthFirstSearch, BreadthFirstSearch, DijkstraAlgorithm, AStar,
                              BellmanFord, FloydWarshall>;

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
