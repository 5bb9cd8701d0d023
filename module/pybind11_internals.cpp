#include "module/pybind11_internals.hpp"

#ifdef CORRIDEX_PYBIND11_PUBLIC_API_ONLY
#include <unordered_map>
#include <utility>
#else
#include <memory>
#include <new>
#include <pybind11/detail/class.h>
#include <typeinfo>
#endif

namespace py = pybind11;

namespace corridex::binding::internals {

#ifndef CORRIDEX_PYBIND11_PUBLIC_API_ONLY

namespace {

// Index is bound with pybind11's default holder, which owns a separately allocated value.
using IndexHolder = std::unique_ptr<Index>;
static_assert(sizeof(IndexHolder) <= sizeof(void*) * py::detail::instance_simple_holder_in_ptrs(),
              "an Index holder fits in the instance itself");

} // namespace

IndexObjectMaker::IndexObjectMaker() : indexType_(py::detail::get_type_info(typeid(Index))) {
    if (indexType_ == nullptr) {
        throw py::type_error("Index is not registered");
    }
}

// The object is left in the state pybind11's own constructor leaves it, except that it is not
// entered in pybind11's table of registered instances: that table only serves to find the
// Python object of a C++ pointer handed out by reference, which never happens for these copies,
// and entering and removing a million cells costs more than making them.
PyObject* IndexObjectMaker::operator()(const Index& cell) const {
    PyObject* object = indexType_->type->tp_alloc(indexType_->type, 0);
    if (object == nullptr) {
        throw py::error_already_set();
    }
    auto* instance = reinterpret_cast<py::detail::instance*>(object);
    // The Index class has one bound type and a holder that fits inline: the simple layout.
    instance->simple_layout = true;
    instance->owned = true;
    auto valueAndHolder = instance->get_value_and_holder(indexType_);
    Index* value = nullptr;
    try {
        value = new Index(cell);
    } catch (...) {
        Py_DECREF(object);
        throw;
    }
    valueAndHolder.value_ptr() = value;
    new (std::addressof(valueAndHolder.holder<IndexHolder>())) IndexHolder(value);
    valueAndHolder.set_holder_constructed();
    return object;
}

// The holder's state in pybind11's value_and_holder, unchanged since long before the releases
// CMakeLists.txt accepts.
bool isConstructed(PyObject* object, PyTypeObject* cls) {
    if (PyObject_TypeCheck(object, cls) == 0) {
        return true;
    }
    const py::detail::type_info* info = py::detail::get_type_info(cls);
    auto* instance = reinterpret_cast<py::detail::instance*>(object);
    return info == nullptr || instance->get_value_and_holder(info).holder_constructed();
}

py::object prepareInitStandIn(py::handle /*cls*/, py::handle init) {
    return init.attr("__self__");
}

void constructed(PyObject* /*object*/) {}

#else

IndexObjectMaker::IndexObjectMaker() = default;

PyObject* IndexObjectMaker::operator()(const Index& cell) const {
    return py::cast(cell, py::return_value_policy::copy).release().ptr();
}

namespace {

// The objects that __new__ made and no __init__ has constructed yet, each with a weak reference
// whose callback forgets the object when it goes, before its address can be reused. Touched
// only with the interpreter lock held.
std::unordered_map<PyObject*, py::object>& unconstructed() {
    static auto* objects = new std::unordered_map<PyObject*, py::object>();
    return *objects;
}

// A bound class's __new__: pybind11's (`original`), then the new object noted as unconstructed.
PyObject* newUnconstructed(PyObject* original, PyObject* args, PyObject* kwargs) {
    PyObject* object = PyObject_Call(original, args, kwargs);
    if (object == nullptr) {
        return nullptr;
    }
    try {
        const py::cpp_function forget(
            [object](const py::handle& /*reference*/) { unconstructed().erase(object); });
        auto reference = py::reinterpret_steal<py::object>(PyWeakref_NewRef(object, forget.ptr()));
        if (!reference) {
            throw py::error_already_set();
        }
        unconstructed()[object] = std::move(reference);
    } catch (py::error_already_set& error) {
        Py_DECREF(object);
        error.restore();
        return nullptr;
    } catch (...) {
        Py_DECREF(object);
        PyErr_NoMemory();
        return nullptr;
    }
    return object;
}

PyMethodDef newMethod{
    "__new__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(newUnconstructed)),
    METH_VARARGS | METH_KEYWORDS,
    "Create and return a new object.  See help(type) for accurate signature."};

} // namespace

bool isConstructed(PyObject* object, PyTypeObject* cls) {
    return PyObject_TypeCheck(object, cls) == 0 || unconstructed().count(object) == 0;
}

// pybind11's __new__ leaves the value unconstructed, which its public API cannot tell, so the
// class's own __new__ notes every object it makes until __init__ constructs it.
py::object prepareInitStandIn(py::handle cls, py::handle init) {
    const py::object original = cls.attr("__new__");
    auto function =
        py::reinterpret_steal<py::object>(PyCFunction_NewEx(&newMethod, original.ptr(), nullptr));
    if (!function) {
        throw py::error_already_set();
    }
    py::setattr(cls, "__new__", py::staticmethod(function));
    return py::reinterpret_borrow<py::object>(init);
}

void constructed(PyObject* object) {
    unconstructed().erase(object);
}

#endif

} // namespace corridex::binding::internals
