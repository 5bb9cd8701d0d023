#include "module/index_list.hpp"

#include "module/pybind11_internals.hpp"
#include "module/python_interrupt.hpp"
#include "system/memory_budget.hpp"

#include <cstddef>

namespace py = pybind11;

namespace corridex::binding {

// Results can hold millions of cells, so the list is sized once and filled in place.
py::list toIndexList(const LargeVector<Index>& cells) {
    // Each cell becomes an object of a few dozen bytes and a slot of the list; a long list is
    // refused up front, with a message saying so, when that would not fit.
    constexpr std::size_t kBytesPerCell = 80;
    constexpr std::size_t kCheckedFrom = 4096;
    if (cells.size() >= kCheckedFrom) {
        const char* what = "the list of result cells";
        requireFitsInMemory(checkedProduct(cells.size(), kBytesPerCell, what), what);
    }
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
