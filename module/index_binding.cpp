#include "maze/index.hpp"
#include "module/bindings.hpp"
#include "module/bound_classes.hpp"
#include "module/exact_unsigned.hpp"

#include <pybind11/pybind11.h>
#include <string>

namespace py = pybind11;

namespace corridex::binding {
namespace {

// (type, (row, col)), and for an object of a Python subclass its instance dict too, so that a
// copy keeps its own type and attributes. object's own __reduce__ would instead call the base's
// allocator, which pybind11 aborts on.
py::tuple reduceIndex(const py::object& self) {
    if (!py::isinstance<Index>(self)) {
        throw py::type_error("__reduce__ of Index called on a '" +
                             py::str(py::type::of(self).attr("__name__")).cast<std::string>() +
                             "' object");
    }
    const auto& index = self.cast<const Index&>();
    py::tuple arguments = py::make_tuple(index.row, index.col);
    const py::object state = py::getattr(self, "__dict__", py::none());
    if (state.is_none() || py::len(state) == 0) {
        return py::make_tuple(py::type::of(self), arguments);
    }
    return py::make_tuple(py::type::of(self), arguments, state);
}

} // namespace

void registerIndex(py::module_& module) {
    using namespace pybind11::literals;
    // __eq__ and __ne__ are plain methods taking an Index, so comparing with any other type
    // raises TypeError; defining __eq__ without __hash__ makes Index unhashable.
    py::class_<Index> cls(
        module, "Index",
        "   Simple class to encapsulate 2D position of a 1x1 square in the Maze.");
    cls.def(py::init(
                [](ExactUnsigned row, ExactUnsigned col) { return Index{row.value, col.value}; }),
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
        .def("__reduce_ex__",
             [](const py::object& self, int /*protocol*/) { return reduceIndex(self); })
        .def("__reduce__", &reduceIndex);
    refuseSecondInit(cls);
}

} // namespace corridex::binding
