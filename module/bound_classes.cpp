#include "module/bound_classes.hpp"

#include <string>
#include <vector>

namespace py = pybind11;

namespace corridex::binding {
namespace {

// Whether an instance's holder is constructed is read from pybind11's internals (its
// value_and_holder), unchanged since long before the pybind11 range CMakeLists.txt accepts;
// tests/python/test_bad_input.py checks the outcome on every build it tests.
bool isConstructed(PyObject* object, const py::detail::type_info* info) {
    auto* instance = reinterpret_cast<py::detail::instance*>(object);
    return instance->get_value_and_holder(info).holder_constructed();
}

std::string nameOf(PyTypeObject* cls) {
    return py::handle(reinterpret_cast<PyObject*>(cls)).attr("__name__").cast<std::string>();
}

// pybind11's __init__ of one class and the method that stands in front of it. The stand-in is
// bound to the same function record as pybind11's __init__, so that everything about the two
// reads alike; records and guards live as long as the process, like the classes.
struct InitGuard {
    PyObject* record;
    PyObject* original;
    PyTypeObject* cls;
    std::string doc;
    PyMethodDef method;
};

std::vector<InitGuard*>& initGuards() {
    static auto* guards = new std::vector<InitGuard*>();
    return *guards;
}

PyObject* initOnce(PyObject* record, PyObject* args, PyObject* kwargs) {
    const InitGuard* guard = nullptr;
    for (const InitGuard* candidate : initGuards()) {
        guard = candidate->record == record ? candidate : guard;
    }
    if (guard == nullptr) {
        PyErr_SetString(PyExc_SystemError, "__init__ lost track of its class");
        return nullptr;
    }
    if (PyTuple_GET_SIZE(args) > 0) {
        PyObject* self = PyTuple_GET_ITEM(args, 0);
        if (PyObject_TypeCheck(self, guard->cls) &&
            isConstructed(self, py::detail::get_type_info(guard->cls))) {
            const std::string name = nameOf(guard->cls);
            PyErr_Format(PyExc_TypeError,
                         "%s object is already initialised: make a new %s instead of calling "
                         "__init__ again",
                         name.c_str(), name.c_str());
            return nullptr;
        }
    }
    return PyObject_Call(guard->original, args, kwargs);
}

} // namespace

void requireConstructed(py::handle object, const std::type_info& type) {
    const py::detail::type_info* info = py::detail::get_type_info(type);
    if (info == nullptr || !PyObject_TypeCheck(object.ptr(), info->type) ||
        isConstructed(object.ptr(), info)) {
        return;
    }
    const std::string name = nameOf(info->type);
    throw py::type_error(name + " object is not initialised: it was made by " + name +
                         ".__new__ without " + name + ".__init__");
}

void refusePickling(py::handle cls) {
    throw py::type_error("cannot pickle '" + nameOf(reinterpret_cast<PyTypeObject*>(cls.ptr())) +
                         "' object");
}

void refuseSecondInit(py::handle cls) {
    py::object original = cls.attr("__init__");
    py::object record = original.attr("__self__");
    const py::object module = original.attr("__module__");
    auto* guard =
        new InitGuard{record.ptr(), original.ptr(), reinterpret_cast<PyTypeObject*>(cls.ptr()),
                      original.attr("__doc__").cast<std::string>(), PyMethodDef{}};
    guard->method = PyMethodDef{
        "__init__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(initOnce)),
        METH_VARARGS | METH_KEYWORDS, guard->doc.c_str()};
    auto function = py::reinterpret_steal<py::object>(
        PyCFunction_NewEx(&guard->method, record.ptr(), module.ptr()));
    py::object method =
        function ? py::reinterpret_steal<py::object>(PyInstanceMethod_New(function.ptr()))
                 : py::object();
    if (!method) {
        delete guard;
        throw py::error_already_set();
    }
    initGuards().push_back(guard);
    record.release();
    original.release();
    py::setattr(cls, "__init__", method);
}

} // namespace corridex::binding
