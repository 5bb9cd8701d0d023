#include "module/grid_conversion.hpp"

#include "maze/memory_budget.hpp"
#include "maze/platform.hpp"
#include "module/python_interrupt.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace py = pybind11;

namespace corridex::binding {
namespace {

bool isSequenceOfItems(PyObject* object) {
    return PySequence_Check(object) != 0 && !PyBytes_Check(object) && !PyUnicode_Check(object);
}

std::string typeName(PyObject* object) {
    return std::string(Py_TYPE(object)->tp_name).substr(0, 200);
}

// A grid that fails to load in the converting pass raises TypeError saying where and why, in
// a few lines however large the grid; the strict pass only returns false, so that the
// converting pass gets its turn.
constexpr const char* kRejected = "__init__(): incompatible constructor arguments. grid ";

[[noreturn]] void rejectGrid(const std::string& what) {
    throw py::type_error(kRejected + what);
}

std::string cellName(std::size_t row, std::size_t col) {
    return "row " + std::to_string(row) + ", column " + std::to_string(col);
}

// After Python code run for the grid (an item's __bool__, a sequence's __getitem__ or
// __len__) raised: an interrupt or an exit goes on as it is; any other exception becomes the
// converting pass's TypeError, chained to it.
bool failedInPython(bool convert, const std::string& where) {
    if (PyErr_ExceptionMatches(PyExc_Exception) == 0) {
        throw py::error_already_set();
    }
    if (!convert) {
        PyErr_Clear();
        return false;
    }
    py::raise_from(PyExc_TypeError, (kRejected + where).c_str());
    throw py::error_already_set();
}

// One item by pybind11's bool rules: True, False and NumPy booleans in the strict pass, and in
// the converting pass also None (as false) and anything with a truth value (nb_bool).
bool loadCell(PyObject* item, bool convert, std::uint8_t& cell, std::size_t row, std::size_t col) {
    if (item == Py_True) {
        cell = 1;
        return true;
    }
    if (item == Py_False) {
        cell = 0;
        return true;
    }
    py::detail::make_caster<bool> caster;
    if (caster.load(item, false)) {
        cell = static_cast<bool>(caster) ? 1 : 0;
        return true;
    }
    PyErr_Clear();
    if (!convert) {
        return false;
    }
    if (item == Py_None) {
        cell = 0;
        return true;
    }
    const PyNumberMethods* number = Py_TYPE(item)->tp_as_number;
    if (number == nullptr || number->nb_bool == nullptr) {
        rejectGrid(cellName(row, col) + " (of type '" + typeName(item) +
                   "') has no truth value: cells are True, False, numbers or None");
    }
    const int truth = number->nb_bool(item);
    if (truth < 0) {
        return failedInPython(convert, cellName(row, col) + " (of type '" + typeName(item) +
                                           "'): taking its truth value raised an exception");
    }
    cell = truth != 0 ? 1 : 0;
    return true;
}

// The common case, a list holding only True and False, read without running any Python code:
// one pass over the item pointers, without a branch, so that it runs on vector lanes (AVX2
// where the processor has it). False when some item is anything else.
CORRIDEX_TARGET_CLONES("avx2", "default")
bool copyBoolItems(PyObject* const* items, std::size_t length, std::uint8_t* cells) {
    const auto trueItem = reinterpret_cast<std::uintptr_t>(Py_True);
    const auto falseItem = reinterpret_cast<std::uintptr_t>(Py_False);
    std::uint32_t others = 0;
    for (std::size_t k = 0; k < length; ++k) {
        const auto item = reinterpret_cast<std::uintptr_t>(items[k]);
        const std::uint32_t isTrue = item == trueItem ? 1U : 0U;
        const std::uint32_t isFalse = item == falseItem ? 1U : 0U;
        others |= 1U ^ (isTrue | isFalse);
        cells[k] = static_cast<std::uint8_t>(isTrue);
    }
    return others == 0;
}

// A sequence other than a list can claim a length it cannot deliver, so its cells are gathered
// one by one before the row is sized, and a false length costs nothing.
bool loadOtherRow(PyObject* row, Py_ssize_t length, bool convert, Grid& grid, std::size_t r,
                  CancellationPoll& poll) {
    std::vector<std::uint8_t> gathered;
    for (Py_ssize_t k = 0; k < length; ++k) {
        poll.tick();
        const auto item = py::reinterpret_steal<py::object>(PySequence_GetItem(row, k));
        const auto c = static_cast<std::size_t>(k);
        std::uint8_t cell = 0;
        if (!item) {
            return failedInPython(convert, cellName(r, c) + " could not be read");
        }
        if (!loadCell(item.ptr(), convert, cell, r, c)) {
            return false;
        }
        gathered.push_back(cell);
    }
    std::copy(gathered.begin(), gathered.end(), grid.appendRow(gathered.size()));
    return true;
}

bool loadRow(PyObject* row, bool convert, Grid& grid, std::size_t r, CancellationPoll& poll) {
    if (!isSequenceOfItems(row)) {
        if (convert) {
            rejectGrid("row " + std::to_string(r) + " (of type '" + typeName(row) +
                       "') is not a sequence of cells");
        }
        return false;
    }
    const Py_ssize_t length = PySequence_Size(row);
    if (length < 0) {
        return failedInPython(convert, "row " + std::to_string(r) + " has no length");
    }
    if (PyList_Check(row) == 0) {
        return loadOtherRow(row, length, convert, grid, r, poll);
    }
    std::uint8_t* cells = grid.appendRow(static_cast<std::size_t>(length));
    poll.tick(static_cast<std::uint64_t>(length) / 16 + 1);
    if (copyBoolItems(PySequence_Fast_ITEMS(row), static_cast<std::size_t>(length), cells)) {
        return true;
    }
    for (Py_ssize_t k = 0; k < length; ++k) {
        // An item's __bool__ can run any code, even code that shortens this list, so the list is
        // re-measured and each item held while it converts.
        if (k >= PyList_GET_SIZE(row)) {
            if (convert) {
                rejectGrid("row " + std::to_string(r) + " shrank while it was read");
            }
            return false;
        }
        poll.tick();
        auto item = py::reinterpret_borrow<py::object>(PyList_GET_ITEM(row, k));
        if (!loadCell(item.ptr(), convert, cells[k], r, static_cast<std::size_t>(k))) {
            return false;
        }
    }
    return true;
}

// C-contiguous two-dimensional NumPy arrays of one-byte booleans (or, when converting, unsigned
// bytes) are read straight from their buffer. Anything else returns false and is left to the
// general path, which gives the same answer more slowly.
bool loadNumpyBuffer(PyObject* source, bool convert, Grid& grid) {
    if (std::strcmp(Py_TYPE(source)->tp_name, "numpy.ndarray") != 0) {
        return false;
    }
    Py_buffer view;
    if (PyObject_GetBuffer(source, &view, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) != 0) {
        PyErr_Clear();
        return false;
    }
    const char* format = view.format == nullptr ? "B" : view.format;
    const bool boolean = std::strcmp(format, "?") == 0;
    const bool bytes = std::strcmp(format, "B") == 0;
    const bool usable = view.ndim == 2 && view.itemsize == 1 && (boolean || (bytes && convert));
    if (usable) {
        const auto rows = static_cast<std::size_t>(view.shape[0]);
        const auto cols = static_cast<std::size_t>(view.shape[1]);
        const auto* data = static_cast<const std::uint8_t*>(view.buf);
        grid = Grid{};
        grid.reserve(rows, rows * cols);
        for (std::size_t r = 0; r < rows; ++r) {
            std::uint8_t* cells = grid.appendRow(cols);
            for (std::size_t c = 0; c < cols; ++c) {
                cells[c] = data[r * cols + c] != 0 ? 1 : 0;
            }
        }
    }
    PyBuffer_Release(&view);
    return usable;
}

} // namespace

bool loadGrid(py::handle source, bool convert, Grid& grid) {
    PyObject* object = source.ptr();
    if (loadNumpyBuffer(object, convert, grid)) {
        return true;
    }
    if (!isSequenceOfItems(object)) {
        return false;
    }
    const Py_ssize_t rows = PySequence_Size(object);
    if (rows < 0) {
        return failedInPython(convert, "has no length");
    }
    Grid loaded;
    const bool isList = PyList_Check(object) != 0;
    if (isList) {
        // Rows can be one list repeated, so a small list can stand for more cells than the
        // machine holds: measure before reserving.
        std::uint64_t cells = 0;
        bool allLists = true;
        for (Py_ssize_t r = 0; r < rows && allLists; ++r) {
            PyObject* row = PyList_GET_ITEM(object, r);
            allLists = PyList_Check(row) != 0;
            if (allLists && platform::addOverflows(
                                cells, static_cast<std::uint64_t>(PyList_GET_SIZE(row)), cells)) {
                cells = UINT64_MAX;
            }
        }
        if (allLists) {
            requireFitsInMemory(cells, "the grid");
            loaded.reserve(static_cast<std::size_t>(rows), cells);
        }
    }
    // A list of millions of items takes seconds to read through __bool__: Ctrl-C ends it.
    CancellationPoll poll = pythonInterruptPoll();
    for (Py_ssize_t r = 0; r < rows; ++r) {
        const auto rowNumber = static_cast<std::size_t>(r);
        if (isList && r >= PyList_GET_SIZE(object)) {
            if (convert) {
                rejectGrid("shrank while it was read");
            }
            return false;
        }
        py::object row = isList ? py::reinterpret_borrow<py::object>(PyList_GET_ITEM(object, r))
                                : py::reinterpret_steal<py::object>(PySequence_GetItem(object, r));
        if (!row) {
            return failedInPython(convert, "row " + std::to_string(r) + " could not be read");
        }
        if (!loadRow(row.ptr(), convert, loaded, rowNumber, poll)) {
            return false;
        }
    }
    grid = std::move(loaded);
    return true;
}

py::list gridToList(const Grid& grid) {
    // A large maze takes a second or more to copy out; a pending Ctrl-C ends it part way, and
    // the rows made so far go with the outer list (empty slots are allowed in a list freed).
    CancellationPoll poll = pythonInterruptPoll();
    py::list rows(grid.rowCount());
    // The rows hold only True and False, so the garbage collector has nothing to find in them;
    // kept out of its sight while they fill, they are not walked by the collections that their
    // own allocation triggers.
    for (std::size_t r = 0; r < grid.rowCount(); ++r) {
        const std::size_t length = grid.rowLength(r);
        PyObject* row = PyList_New(static_cast<Py_ssize_t>(length));
        if (row == nullptr) {
            throw py::error_already_set();
        }
        PyObject_GC_UnTrack(row);
        const std::uint8_t* cells = grid.row(r);
        for (std::size_t c = 0; c < length; ++c) {
            PyObject* value = cells[c] != 0 ? Py_True : Py_False;
            Py_INCREF(value);
            PyList_SET_ITEM(row, static_cast<Py_ssize_t>(c), value);
        }
        PyList_SET_ITEM(rows.ptr(), static_cast<Py_ssize_t>(r), row);
        poll.tick(length / 16 + 1);
    }
    for (std::size_t r = 0; r < grid.rowCount(); ++r) {
        PyObject_GC_Track(PyList_GET_ITEM(rows.ptr(), static_cast<Py_ssize_t>(r)));
    }
    return rows;
}

} // namespace corridex::binding
