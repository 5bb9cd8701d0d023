#include "module/index_list.hpp"

#include "module/python_interrupt.hpp"

#include <memory>
#include <new>
#include <pybind11/detail/class.h>

namespace py = pybind11;

namespace corridex::binding {
namespace {

// Index is bound with pybind11's default holder, which owns a separately allocated value.
using IndexHolder = std::unique_ptr<Index>;
static_assert(sizeof(IndexHolder) <= sizeof(void*) * py::detail::instance_simple_holder_in_ptrs(),
              "an Index holder fits in the instance itself");

// A new Python Index owning a copy of `cell`, in the state pybind11's own constructor leaves
// it, except that it is not entered in pybind11's table of registered instances: that table
// only serves to find the Python object of a C++ pointer handed out by reference, which never
// happens for these copies, and entering and removing a million cells costs more than making
// them.
PyObject* newIndexObject(const py::detail::type_info& indexType, const Index& cell) {
    PyObject* object = indexType.type->tp_alloc(indexType.type, 0);
    if (object == nullptr) {
        throw py::error_already_set();
    }
    auto* instance = reinterpret_cast<py::detail::instance*>(object);
    // The Index class has one bound type and a holder that fits inline: the simple layout.
    instance->simple_layout = true;
    instance->owned = true;
    auto valueAndHolder = instance->get_value_and_holder(&indexType);
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

} // namespace

// Results can hold millions of cells, so the list is sized once and each Index is made directly
// rather than through the generic caster, which looks the type up for every element.
py::list toIndexList(const LargeVector<Index>& cells) {
    const py::detail::type_info* indexType = py::detail::get_type_info(typeid(Index));
    if (indexType == nullptr) {
        throw py::type_error("Index is not registered");
    }
    py::list list(cells.size());
    CancellationPoll poll = pythonInterruptPoll(); // slots not yet filled are freed as empty
    for (std::size_t i = 0; i < cells.size(); ++i) {
        poll.tick();
        PyList_SET_ITEM(list.ptr(), static_cast<Py_ssize_t>(i),
                        newIndexObject(*indexType, cells[i]));
    }
    return list;
}

} // namespace corridex::binding
