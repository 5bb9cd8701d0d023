#include "generator/random_maze_generator.hpp"
#include "module/bindings.hpp"
#include "module/bound_classes.hpp"
#include "module/exact_unsigned.hpp"
#include "module/grid_conversion.hpp"
#include "module/python_interrupt.hpp"
#include "system/memory_budget.hpp"
#include "system/platform.hpp"

#include <cstdint>
#include <memory>
#include <pybind11/pybind11.h>
#include <string>

namespace py = pybind11;

namespace pybind11::detail {
template <>
struct type_caster<corridex::RandomMazeGenerator>
    : corridex::binding::ConstructedCaster<corridex::RandomMazeGenerator> {};
} // namespace pybind11::detail

namespace corridex::binding {
namespace {

// What generate() holds at its peak from Python: the native peak plus the result as lists, each
// row a list object (with its slot in the outer list) and each entry a pointer to True or False.
std::uint64_t peakBytesFromPython(const RandomMazeGenerator& generator) {
    constexpr std::uint64_t kBytesPerRow = 64;
    const char* what = "RandomMazeGenerator";
    const char* purpose = "the maze as Python lists";
    const std::uint64_t rows = 2 * generator.cellRows();
    const std::uint64_t entries = checkedProduct(
        rows, checkedProduct(2, generator.cellCols(), what, purpose), what, purpose);
    const std::uint64_t lists = checkedProduct(rows, kBytesPerRow, what, purpose);
    const std::uint64_t items = checkedProduct(entries, sizeof(PyObject*), what, purpose);
    std::uint64_t total = 0;
    if (platform::addOverflows(lists, items, total) ||
        platform::addOverflows(total, generator.peakBytes(), total)) {
        total = UINT64_MAX;
    }
    return total;
}

} // namespace

void registerRandomMazeGenerator(py::module_& module) {
    using namespace pybind11::literals;
    py::class_<RandomMazeGenerator> cls(module, "RandomMazeGenerator",
                                        "   Simple Random-Generator using BackTracking.");
    cls.def(py::init([](ExactUnsigned width, ExactUnsigned hight) {
                auto generator = std::make_unique<RandomMazeGenerator>(width.value, hight.value);
                const std::string purpose = "a " + std::to_string(width.value) + " x " +
                                            std::to_string(hight.value) +
                                            " maze and its Python lists";
                requireFitsInMemory(peakBytesFromPython(*generator), "RandomMazeGenerator",
                                    purpose.c_str());
                return generator;
            }),
            "width"_a = 0, "hight"_a = 0)
        .def("generate",
             [](RandomMazeGenerator& generator) {
                 return gridToList(generator.generate(pythonInterruptPoll()));
             })
        .def("__reduce_ex__",
             [](const RandomMazeGenerator&, int /*protocol*/) -> py::tuple {
                 refusePickling(py::type::of<RandomMazeGenerator>());
             })
        // Bound too, or object's own would call the base's allocator, which pybind11 aborts on.
        .def("__reduce__", [](const RandomMazeGenerator&) -> py::tuple {
            refusePickling(py::type::of<RandomMazeGenerator>());
        });
    refuseSecondInit(cls);
}

} // namespace corridex::binding
