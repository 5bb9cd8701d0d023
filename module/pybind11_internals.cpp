#include "module/pybind11_internals.hpp"

#ifdef CORRIDEX_PYBIND11_PUBLIC_API_ONLY
#include <unordered_map>
#include <utility>
#else
#include <cstring>
#include <new>
#include <pybind11/detail/class.h>
#include <typeinfo>
#endif

namespace py = pybind11;

namespace corridex::binding::internals {

#ifndef CORRIDEX_PYBIND11_PUBLIC_API_ONLY

namespace {

// Where a cell's value sits in the block of an Index object that IndexObjectMaker makes.
std::size_t valueOffset(const PyTypeObject* type) {
    const auto size = static_cast<std::size_t>(type->tp_basicsize);
    return (size + alignof(Index) - 1) / alignof(Index) * alignof(Index);
}

} // namespace

IndexObjectMaker::IndexObjectMaker() : indexType_(py::detail::get_type_info(typeid(Index))) {
    if (indexType_ == nullptr) {
        throw py::type_error("Index is not registered");
    }
    // Objects made here are freed by the class's own deallocator, which must free the one block.
    const PyTypeObject* type = indexType_->type;
    if (type->tp_free != PyObject_Free || type->tp_itemsize != 0 ||
        PyType_HasFeature(indexType_->type, Py_TPFLAGS_HAVE_GC) != 0) {
        throw py::type_error("Index objects are not laid out as this build of Corridex expects");
    }
}

// pybind11's constructor gives an object a separately allocated value, owned through a holder,
// and enters it in a table of registered instances. A copy handed out in a result needs
// neither: its value sits in the object's own block, behind the instance, and nothing looks
// its pointer up. With no holder and `owned` false, pybind11's deallocator leaves the value
// alone and frees the block; one allocation instead of two, for each of a million cells.
PyObject* IndexObjectMaker::operator()(const Index& cell) const {
    PyTypeObject* type = indexType_->type;
    const std::size_t offset = valueOffset(type);
    void* block = PyObject_Malloc(offset + sizeof(Index));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    std::memset(block, 0, offset);
    PyObject* object = PyObject_Init(static_cast<PyObject*>(block), type);
    auto* instance = reinterpret_cast<py::detail::instance*>(object);
    // The Index class has one bound type and a holder that fits inline: the simple layout.
    instance->simple_layout = true;
    instance->owned = false;
    instance->get_value_and_holder(indexType_).value_ptr() =
        ::new (static_cast<char*>(block) + offset) Index(cell);
    return object;
}

// pybind11's __new__ leaves the value pointer null, its __init__ sets it; the copies in results
// have one from the start, without a holder.
bool isConstructed(PyObject* object, PyTypeObject* cls) {
    if (PyObject_TypeCheck(object, cls) == 0) {
        return true;
    }
    const py::detail::type_info* info = py::detail::get_type_info(cls);
    auto* instance = reinterpret_cast<py::detail::instance*>(object);
    return info == nullptr || instance->get_value_and_holder(info).value_ptr() != nullptr;
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
