#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "module/bindings.hpp"
#include "module/bound_classes.hpp"
#include "module/grid_conversion.hpp"
#include "module/index_list.hpp"
#include "module/python_interrupt.hpp"
#include "solvers/a_star.hpp"
#include "solvers/bellman_ford.hpp"
#include "solvers/breadth_first_search.hpp"
#include "solvers/depth_first_search.hpp"
#include "solvers/dijkstra_algorithm.hpp"
#include "solvers/floyd_warshall.hpp"

#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace pybind11::detail {
template <>
struct type_caster<corridex::DepthFirstSearch>
    : corridex::binding::ConstructedCaster<corridex::DepthFirstSearch> {};
template <>
struct type_caster<corridex::BreadthFirstSearch>
    : corridex::binding::ConstructedCaster<corridex::BreadthFirstSearch> {};
template <>
struct type_caster<corridex::DijkstraAlgorithm>
    : corridex::binding::ConstructedCaster<corridex::DijkstraAlgorithm> {};
template <>
struct type_caster<corridex::AStar> : corridex::binding::ConstructedCaster<corridex::AStar> {};
template <>
struct type_caster<corridex::BellmanFord>
    : corridex::binding::ConstructedCaster<corridex::BellmanFord> {};
template <>
struct type_caster<corridex::FloydWarshall>
    : corridex::binding::ConstructedCaster<corridex::FloydWarshall> {};
} // namespace pybind11::detail

namespace corridex::binding {
namespace {

// Every solver class has the same Python surface; only TraversedNodesNo differs between them,
// and each class's own traversedNodesNo() is bound.
template <class Solver>
void registerSolver(py::module_& module, const char* name) {
    using namespace pybind11::literals;
    py::class_<Solver> cls(module, name);
    cls.def(py::init<const Grid&, const Index&, const Index&>(), "grid"_a, "start"_a, "end"_a)
        .def("solve", [](Solver& solver) { solver.solve(pythonInterruptPoll()); })
        .def("SrcToDestPath",
             [](const Solver& solver) { return toIndexList(solver.results().path); })
        .def("SrcToDestDistance", [](const Solver& solver) { return solver.results().distance; })
        .def("TraversedNodes",
             [](const Solver& solver) { return toIndexList(solver.results().traversed); })
        .def("TraversedNodesNo", [](const Solver& solver) { return solver.traversedNodesNo(); })
        .def("__reduce_ex__",
             [](const Solver&, int /*protocol*/) -> py::tuple {
                 refusePickling(py::type::of<Solver>());
             })
        // Bound too, or object's own would call the base's allocator, which pybind11 aborts on.
        .def("__reduce__",
             [](const Solver&) -> py::tuple { refusePickling(py::type::of<Solver>()); });
    refuseSecondInit(cls);
}

} // namespace

void registerSolvers(py::module_& module) {
    registerSolver<DepthFirstSearch>(module, "DepthFirstSearch");
    registerSolver<BreadthFirstSearch>(module, "BreadthFirstSearch");
    registerSolver<DijkstraAlgorithm>(module, "DijkstraAlgorithm");
    registerSolver<AStar>(module, "AStar");
    registerSolver<BellmanFord>(module, "BellmanFord");
    registerSolver<FloydWarshall>(module, "FloydWarshall");
}

} // namespace corridex::binding
