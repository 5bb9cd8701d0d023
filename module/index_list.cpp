#include "module/index_list.hpp"

#include "module/python_interrupt.hpp"

#include <memory>
#include <new>

namespace py = pybind11;

// The fast path below writes pybind11 instances by hand, so it is compiled only for the
// pybind11 releases it was tested against (the range pyproject.toml and CMakeLists.txt pin);
// any other release gets the public caster, slower but independent of pybind11's layout.
#if !defined(CORRIDEX_PYBIND11_PUBLIC_API_ONLY) && PYBIND11_VERSION_HEX >= 0x020A0000 &&          \
    PYBIND11_VERSION_HEX < 0x03020000
#define CORRIDEX_INDEX_LIST_FAST_PATH 1
#include <pybind11/detail/class.h>
#endif

namespace corridex::binding {
namespace {

#ifdef CORRIDEX_INDEX_LIST_FAST_PATH

// Index is bound with pybind11's default holder, which owns a separately allocated value.
using IndexHolder = std::unique_ptr<Index>;
static_assert(sizeof(IndexHolder) <= sizeof(void*) * py::detail::instance_simple_holder_in_ptrs(),
              "an Index holder fits in the instance itself");

// Makes new Python Index objects owning a copy of a cell, in the state pybind11's own
// constructor leaves them, except that they are not entered in pybind11's table of registered
// instances: that table only serves to find the Python object of a C++ pointer handed out by
// reference, which never happens for these copies, and entering and removing a million cells
// costs more than making them.
class IndexObjectMaker {
public:
    // Looks the Index type up once for the whole list rather than once per element.
    IndexObjectMaker() : indexType_(py::detail::get_type_info(typeid(Index))) {
        if (indexType_ == nullptr) {
            throw py::type_error("Index is not registered");
        }
    }

    PyObject* operator()(const Index& cell) const {
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

private:
    const py::detail::type_info* indexType_;
};

#else

// Makes new Python Index objects through pybind11's public caster, one copy per cell.
class IndexObjectMaker {
public:
    PyObject* operator()(const Index& cell) const {
        return py::cast(cell, py::return_value_policy::copy).release().ptr();
    }
};

#endif

} // namespace

// Results can hold millions of cells, so the list is sized once and filled in place.
py::list toIndexList(const LargeVector<Index>& cells) {
    const IndexObjectMaker newIndexObject{};
    py::list list(cells.size());
    CancellationPoll poll = pythonInterruptPoll(); // slots not yet filled are freed as empty
    for (std::size_t i = 0; i < cells.size(); ++i) {
        poll.tick();
        PyList_SET_ITEM(list.ptr(), static_cast<Py_ssize_t>(i), newIndexObject(cells[i]));
    }
    return list;
}

} // namespace corridex::binding
