#include "maze/grid.hpp"
#include "maze/index.hpp"
#include "module/bindings.hpp"
#include "module/bound_classes.hpp"
#include "module/grid_conversion.hpp"
#include "module/index_list.hpp"
#include "module/python_interrupt.hpp"
#include "solvers/all_solvers.hpp"
#include "system/large_block_allocator.hpp"

#include <cstddef>
#include <pybind11/pybind11.h>
#include <stdexcept>
#include <type_traits>
#include <unordered_map>

namespace py = pybind11;

namespace pybind11::detail {
template <class Solver>
struct type_caster<Solver, std::enable_if_t<corridex::kIsSolver<Solver>>>
    : corridex::binding::ConstructedCaster<Solver> {};
} // namespace pybind11::detail

namespace corridex::binding {
namespace {

// How many getters are copying each solver's results out into lists. The copy polls Ctrl-C, and
// a signal handler run there could call solve() on the same object, which would clear or grow
// the arrays being read; solve() is refused meanwhile. Touched only with the interpreter lock.
std::unordered_map<const void*, std::size_t>& copyingOut() {
    static auto* copies = new std::unordered_map<const void*, std::size_t>();
    return *copies;
}

// A new list of `cells`, one of `solver`'s results, with solve() refused while it fills.
py::list copiedOut(const void* solver, const LargeVector<Index>& cells) {
    struct Copying {
        explicit Copying(const void* solver) : solver_(solver) { ++copyingOut()[solver_]; }
        Copying(const Copying&) = delete;
        Copying& operator=(const Copying&) = delete;
        ~Copying() {
            auto found = copyingOut().find(solver_);
            if (--found->second == 0) {
                copyingOut().erase(found);
            }
        }
        const void* solver_;
    } copying(solver);
    return toIndexList(cells);
}

template <class Solver>
void solveFromPython(Solver& solver) {
    if (copyingOut().count(&solver) != 0) {
        throw std::logic_error("solve() cannot run on this object while one of its getters is "
                               "copying its results out");
    }
    solver.solve(pythonInterruptPoll());
}

// Every solver class has the same Python surface; only TraversedNodesNo differs between them,
// and each class's own traversedNodesNo() is bound.
template <class Solver>
void registerSolver(py::module_& module) {
    using namespace pybind11::literals;
    py::class_<Solver> cls(module, Solver::kName);
    cls.def(py::init<const Grid&, const Index&, const Index&>(), "grid"_a, "start"_a, "end"_a)
        .def("solve", &solveFromPython<Solver>)
        .def("SrcToDestPath",
             [](const Solver& solver) { return copiedOut(&solver, solver.results().path); })
        .def("SrcToDestDistance", [](const Solver& solver) { return solver.results().distance; })
        .def("TraversedNodes",
             [](const Solver& solver) { return copiedOut(&solver, solver.results().traversed); })
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
