#include "module/bound_classes.hpp"

#include "module/pybind11_internals.hpp"

#include <string>
#include <unordered_set>
#include <vector>

namespace py = pybind11;

namespace corridex::binding {
namespace {

std::string nameOf(PyTypeObject* cls) {
    return py::handle(reinterpret_cast<PyObject*>(cls)).attr("__name__").cast<std::string>();
}

// pybind11's __init__ of one class and the method that stands in front of it, bound to `self`
// (see prepareInitStandIn); guards live as long as the process, like the classes.
struct InitGuard {
    PyObject* self;
    PyObject* original;
    PyTypeObject* cls;
    std::string name;
    std::string doc;
    PyMethodDef method;
};

// Per thread: Python code run while the arguments convert can switch threads.
thread_local const char* runningMethod = "";

std::vector<InitGuard*>& initGuards() {
    static auto* guards = new std::vector<InitGuard*>();
    return *guards;
}

// The objects whose __init__ is running: Python code run while its arguments convert (an item's
// __bool__, an argument's __index__) can call __init__ on the same object again, and pybind11
// would then construct its value twice. Touched only with the interpreter lock held.
std::unordered_set<PyObject*>& initialising() {
    static auto* objects = new std::unordered_set<PyObject*>();
    return *objects;
}

PyObject* initOnce(PyObject* self, PyObject* args, PyObject* kwargs) {
    const InitGuard* guard = nullptr;
    for (const InitGuard* candidate : initGuards()) {
        guard = candidate->self == self ? candidate : guard;
    }
    if (guard == nullptr) {
        PyErr_SetString(PyExc_SystemError, "__init__ lost track of its class");
        return nullptr;
    }
    PyObject* object = PyTuple_GET_SIZE(args) > 0 ? PyTuple_GET_ITEM(args, 0) : nullptr;
    if (object != nullptr && PyObject_TypeCheck(object, guard->cls) &&
        internals::isConstructed(object, guard->cls)) {
        const std::string name = nameOf(guard->cls);
        PyErr_Format(PyExc_TypeError,
                     "%s object is already initialised: make a new %s instead of calling "
                     "__init__ again",
                     name.c_str(), name.c_str());
        return nullptr;
    }
    if (object != nullptr && initialising().count(object) != 0) {
        const std::string name = nameOf(guard->cls);
        PyErr_Format(PyExc_TypeError,
                     "%s object is being initialised: __init__ was called again while its "
                     "arguments were converted",
                     name.c_str());
        return nullptr;
    }
    try {
        if (object != nullptr) {
            initialising().insert(object);
        }
    } catch (...) {
        PyErr_NoMemory();
        return nullptr;
    }
    const char* outer = runningMethod;
    runningMethod = guard->method.ml_name;
    // `args` holds `object`, so it stays alive, and at its address, until the call returns.
    PyObject* result = PyObject_Call(guard->original, args, kwargs);
    runningMethod = outer;
    if (object != nullptr) {
        initialising().erase(object);
    }
    if (result != nullptr && object != nullptr) {
        internals::constructed(object);
    }
    return result;
}

} // namespace

void requireConstructed(py::handle object, py::handle cls) {
    auto* type = reinterpret_cast<PyTypeObject*>(cls.ptr());
    if (internals::isConstructed(object.ptr(), type)) {
        return;
    }
    const std::string name = nameOf(type);
    throw py::type_error(name + " object is not initialised: it was made by " + name +
                         ".__new__ without " + name + ".__init__");
}

const char* runningMethodName() {
    return runningMethod;
}

void refusePickling(py::handle cls) {
    throw py::type_error("cannot pickle '" + nameOf(reinterpret_cast<PyTypeObject*>(cls.ptr())) +
                         "' object");
}

void refuseSecondInit(py::handle cls) {
    py::object original = cls.attr("__init__");
    py::object self = internals::prepareInitStandIn(cls, original);
    const py::object module = original.attr("__module__");
    auto* guard = new InitGuard{self.ptr(),
                                original.ptr(),
                                reinterpret_cast<PyTypeObject*>(cls.ptr()),
                                original.attr("__name__").cast<std::string>(),
                                original.attr("__doc__").cast<std::string>(),
                                PyMethodDef{}};
    guard->method = PyMethodDef{
        guard->name.c_str(), reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(initOnce)),
        METH_VARARGS | METH_KEYWORDS, guard->doc.c_str()};
    auto function = py::reinterpret_steal<py::object>(
        PyCFunction_NewEx(&guard->method, self.ptr(), module.ptr()));
    py::object method =
        function ? py::reinterpret_steal<py::object>(PyInstanceMethod_New(function.ptr()))
                 : py::object();
    if (!method) {
        delete guard;
        throw py::error_already_set();
    }
    initGuards().push_back(guard);
    self.release();
    original.release();
    py::setattr(cls, "__init__", method);
}

} // namespace corridex::binding
