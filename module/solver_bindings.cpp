#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "module/bindings.hpp"
#include "module/bound_classes.hpp"
#include "module/grid_conversion.hpp"
#include "module/index_list.hpp"
#include "module/python_interrupt.hpp"
#include "solvers/all_solvers.hpp"

#include <pybind11/pybind11.h>
#include <type_traits>

namespace py = pybind11;

namespace pybind11::detail {
template <class Solver>
struct type_caster<Solver, std::enable_if_t<corridex::kIsSolver<Solver>>>
    : corridex::binding::ConstructedCaster<Solver> {};
} // namespace pybind11::detail

namespace corridex::binding {
namespace {

// Every solver class has the same Python surface; only TraversedNodesNo differs between them,
// and each class's own traversedNodesNo() is bound.
template <class Solver>
void registerSolver(py::module_& module) {
    using namespace pybind11::literals;
    py::class_<Solver> cls(module, Solver::kName);
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
    forEachSolver(
        [&module](auto solver) { registerSolver<typename decltype(solver)::type>(module); });
}

} // namespace corridex::binding
