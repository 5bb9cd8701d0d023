#include "module/index_list.hpp"

namespace py = pybind11;

namespace corridex::binding {

py::list toIndexList(const std::vector<Index>& cells) {
    py::list list(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        PyList_SET_ITEM(list.ptr(), static_cast<Py_ssize_t>(i),
                        py::cast(cells[i]).release().ptr());
    }
    return list;
}

} // namespace corridex::binding
