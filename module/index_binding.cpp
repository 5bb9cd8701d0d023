#include "maze/index.hpp"
#include "module/bindings.hpp"

#include <cstdint>
#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace corridex::binding {

void registerIndex(py::module_& module) {
    using namespace pybind11::literals;
    // __eq__ and __ne__ are plain methods taking an Index, so comparing with any other type
    // raises TypeError; defining __eq__ without __hash__ makes Index unhashable.
    py::class_<Index>(module, "Index",
                      "   Simple class to encapsulate 2D position of a 1x1 square in the Maze.")
        .def(py::init([](std::uint64_t row, std::uint64_t col) {
                 return Index{row, col};
             }),
             "row"_a = 0, "col"_a = 0)
        .def_readwrite("row", &Index::row)
        .def_readwrite("col", &Index::col)
        .def("__repr__", &toString)
        .def("__eq__", [](const Index& self, const Index& other) { return self == other; })
        .def("__ne__", [](const Index& self, const Index& other) { return self != other; });
}

} // namespace corridex::binding
