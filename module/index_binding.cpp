#include "maze/index.hpp"
#include "module/bindings.hpp"
#include "module/bound_classes.hpp"
#include "module/exact_unsigned.hpp"

#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace corridex::binding {

void registerIndex(py::module_& module) {
    using namespace pybind11::literals;
    // __eq__ and __ne__ are plain methods taking an Index, so comparing with any other type
    // raises TypeError; defining __eq__ without __hash__ makes Index unhashable.
    py::class_<Index> cls(
        module, "Index",
        "   Simple class to encapsulate 2D position of a 1x1 square in the Maze.");
    cls.def(py::init([](ExactUnsigned row, ExactUnsigned col) {
                return Index{row.value, col.value};
            }),
            "row"_a = 0, "col"_a = 0)
        .def_property(
            "row",
            py::cpp_function([](const Index& self) { return self.row; }, py::is_method(cls)),
            py::cpp_function([](Index& self, ExactUnsigned row) { self.row = row.value; },
                             py::is_method(cls)))
        .def_property(
            "col",
            py::cpp_function([](const Index& self) { return self.col; }, py::is_method(cls)),
            py::cpp_function([](Index& self, ExactUnsigned col) { self.col = col.value; },
                             py::is_method(cls)))
        .def("__repr__", &toString)
        .def("__eq__", [](const Index& self, const Index& other) { return self == other; })
        .def("__ne__", [](const Index& self, const Index& other) { return self != other; })
        // A value: pickled and copied as the call that makes it again, at every protocol.
        .def("__reduce_ex__", [](const Index& self, int /*protocol*/) {
            return py::make_tuple(py::type::of<Index>(), py::make_tuple(self.row, self.col));
        });
    refuseSecondInit(cls);
}

} // namespace corridex::binding
