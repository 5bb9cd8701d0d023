#include "module/grid_conversion.hpp"

#include "module/bound_classes.hpp"
#include "module/python_interrupt.hpp"
#include "system/memory_budget.hpp"
#include "system/platform.hpp"

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

// A grid that fails to load raises TypeError saying where and why, in a few lines however large
// the grid, in the words pybind11 uses for arguments that fit no constructor, headed by the name
// of the method called.
std::string rejection(const std::string& what) {
    const std::string method = runningMethodName();
    return (method.empty() ? "" : method + "(): ") + "incompatible constructor arguments. grid " +
           what;
}

[[noreturn]] void rejectGrid(const std::string& what) {
    throw py::type_error(rejection(what));
}

std::string cellName(std::size_t row, std::size_t col) {
    return "row " + std::to_string(row) + ", column " + std::to_string(col);
}

// After Python code run for the grid (an item's __bool__, a sequence's __getitem__ or
// __len__) raised: an interrupt or an exit goes on as it is; any other exception becomes the
// grid's TypeError, chained to it.
[[noreturn]] void failedInPython(const std::string& where) {
    if (PyErr_ExceptionMatches(PyExc_Exception) == 0) {
        throw py::error_already_set();
    }
    py::raise_from(PyExc_TypeError, rejection(where).c_str());
    throw py::error_already_set();
}

// One item by pybind11's converting bool rules: True, False, NumPy booleans, None (as false)
// and anything with a truth value (nb_bool).
std::uint8_t loadCell(PyObject* item, std::size_t row, std::size_t col) {
    if (item == Py_True) {
        return 1;
    }
    if (item == Py_False || item == Py_None) {
        return 0;
    }
    py::detail::make_caster<bool> caster;
    if (caster.load(item, false)) {
        return static_cast<bool>(caster) ? 1 : 0;
    }
    PyErr_Clear();
    const PyNumberMethods* number = Py_TYPE(item)->tp_as_number;
    if (number == nullptr || number->nb_bool == nullptr) {
        rejectGrid(cellName(row, col) + " (of type '" + typeName(item) +
                   "') has no truth value: cells are True, False, numbers or None");
    }
    const int truth = number->nb_bool(item);
    if (truth < 0) {
        failedInPython(cellName(row, col) + " (of type '" + typeName(item) +
                       "'): taking its truth value raised an exception");
    }
    return truth != 0 ? 1 : 0;
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
void loadOtherRow(PyObject* row, Py_ssize_t length, Grid& grid, std::size_t r,
                  CancellationPoll& poll) {
    std::vector<std::uint8_t> gathered;
    for (Py_ssize_t k = 0; k < length; ++k) {
        poll.tick();
        const auto item = py::reinterpret_steal<py::object>(PySequence_GetItem(row, k));
        const auto c = static_cast<std::size_t>(k);
        if (!item) {
            failedInPython(cellName(r, c) + " could not be read");
        }
        gathered.push_back(loadCell(item.ptr(), r, c));
    }
    std::copy(gathered.begin(), gathered.end(), grid.appendRow(gathered.size()));
}

void loadRow(PyObject* row, Grid& grid, std::size_t r, CancellationPoll& poll) {
    if (!isSequenceOfItems(row)) {
        rejectGrid("row " + std::to_string(r) + " (of type '" + typeName(row) +
                   "') is not a sequence of cells");
    }
    const Py_ssize_t length = PySequence_Size(row);
    if (length < 0) {
        failedInPython("row " + std::to_string(r) + " has no length");
    }
    if (PyList_Check(row) == 0) {
        loadOtherRow(row, length, grid, r, poll);
        return;
    }
    std::uint8_t* cells = grid.appendRow(static_cast<std::size_t>(length));
    poll.tick(static_cast<std::uint64_t>(length) / 16 + 1);
    if (copyBoolItems(PySequence_Fast_ITEMS(row), static_cast<std::size_t>(length), cells)) {
        return;
    }
    for (Py_ssize_t k = 0; k < length; ++k) {
        // An item's __bool__ can run any code, even code that shortens this list, so the list is
        // re-measured and each item held while it converts.
        if (k >= PyList_GET_SIZE(row)) {
            rejectGrid("row " + std::to_string(r) + " shrank while it was read");
        }
        poll.tick();
        auto item = py::reinterpret_borrow<py::object>(PyList_GET_ITEM(row, k));
        cells[k] = loadCell(item.ptr(), r, static_cast<std::size_t>(k));
    }
}

// A two-dimensional buffer of one-byte booleans or unsigned bytes (a NumPy array or a subclass, a
// memoryview, any other exporter), in any layout its strides describe (C or Fortran order, a
// strided view), is read straight from its memory. Anything else returns false and is left to
// the general path, which gives the same answer more slowly.
bool loadBuffer(PyObject* source, Grid& grid) {
    if (PyObject_CheckBuffer(source) == 0) {
        return false;
    }
    Py_buffer view;
    if (PyObject_GetBuffer(source, &view, PyBUF_STRIDES | PyBUF_FORMAT) != 0) {
        if (PyErr_ExceptionMatches(PyExc_Exception) == 0) {
            throw py::error_already_set();
        }
        PyErr_Clear();
        return false;
    }
    // Released however the reading ends.
    struct Release {
        explicit Release(Py_buffer* buffer) : view(buffer) {}
        Py_buffer* view;
        Release(const Release&) = delete;
        Release& operator=(const Release&) = delete;
        ~Release() { PyBuffer_Release(view); }
    } release(&view);
    const char* format = view.format == nullptr ? "B" : view.format;
    const bool usable = view.ndim == 2 && view.itemsize == 1 && view.strides != nullptr &&
                        (std::strcmp(format, "?") == 0 || std::strcmp(format, "B") == 0);
    if (usable) {
        const auto rows = static_cast<std::size_t>(view.shape[0]);
        const auto cols = static_cast<std::size_t>(view.shape[1]);
        const Py_ssize_t rowStep = view.strides[0];
        const Py_ssize_t colStep = view.strides[1];
        const auto* data = static_cast<const std::uint8_t*>(view.buf);
        requireFitsInMemory(checkedProduct(rows, cols, "the grid"), "the grid");
        grid = Grid{};
        grid.reserve(rows, rows * cols);
        for (std::size_t r = 0; r < rows; ++r) {
            std::uint8_t* cells = grid.appendRow(cols);
            const std::uint8_t* row = data + static_cast<Py_ssize_t>(r) * rowStep;
            if (colStep == 1) {
                for (std::size_t c = 0; c < cols; ++c) {
                    cells[c] = row[c] != 0 ? 1 : 0;
                }
            } else {
                for (std::size_t c = 0; c < cols; ++c) {
                    cells[c] = row[static_cast<Py_ssize_t>(c) * colStep] != 0 ? 1 : 0;
                }
            }
        }
    }
    return usable;
}

} // namespace

bool loadGrid(py::handle source, Grid& grid) {
    PyObject* object = source.ptr();
    if (loadBuffer(object, grid)) {
        return true;
    }
    if (!isSequenceOfItems(object)) {
        return false;
    }
    const Py_ssize_t rows = PySequence_Size(object);
    if (rows < 0) {
        failedInPython("has no length");
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
            rejectGrid("shrank while it was read");
        }
        py::object row = isList ? py::reinterpret_borrow<py::object>(PyList_GET_ITEM(object, r))
                                : py::reinterpret_steal<py::object>(PySequence_GetItem(object, r));
        if (!row) {
            failedInPython("row " + std::to_string(r) + " could not be read");
        }
        loadRow(row.ptr(), loaded, rowNumber, poll);
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
