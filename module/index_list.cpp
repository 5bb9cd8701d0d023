#include "module/index_list.hpp"

#include "module/pybind11_internals.hpp"
#include "module/python_interrupt.hpp"

namespace py = pybind11;

namespace corridex::binding {

// Results can hold millions of cells, so the list is sized once and filled in place.
py::list toIndexList(const LargeVector<Index>& cells) {
    const internals::IndexObjectMaker newIndexObject{};
    py::list list(cells.size());
    CancellationPoll poll = pythonInterruptPoll(); // slots not yet filled are freed as empty
    for (std::size_t i = 0; i < cells.size(); ++i) {
        poll.tick();
        PyList_SET_ITEM(list.ptr(), static_cast<Py_ssize_t>(i), newIndexObject(cells[i]));
    }
    return list;
}

} // namespace corridex::binding
