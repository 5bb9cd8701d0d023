#include "module/index_list.hpp"

#include <memory>
#include <pybind11/detail/class.h>

namespace py = pybind11;

namespace corridex::binding {

// Results can hold millions of cells, so the list is sized once and each Index instance is made
// directly from the registered type, as pybind11's own cast would, but without looking the type
// up and searching the registered instances again for every element.
py::list toIndexList(const LargeVector<Index>& cells) {
    const py::detail::type_info* indexType = py::detail::get_type_info(typeid(Index));
    if (indexType == nullptr) {
        throw py::type_error("Index is not registered");
    }
    py::list list(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        auto instance =
            py::reinterpret_steal<py::object>(py::detail::make_new_instance(indexType->type));
        auto* wrapper = reinterpret_cast<py::detail::instance*>(instance.ptr());
        auto value = std::make_unique<Index>(cells[i]);
        py::detail::values_and_holders(wrapper).begin()->value_ptr() = value.release();
        wrapper->owned = true;
        indexType->init_instance(wrapper, nullptr);
        PyList_SET_ITEM(list.ptr(), static_cast<Py_ssize_t>(i), instance.release().ptr());
    }
    return list;
}

} // namespace corridex::binding
