#pragma once

#include "maze/grid.hpp"

#include <pybind11/pybind11.h>

namespace corridex::binding {

// Reads a grid from any sequence of sequences (not str or bytes) of items that pybind11's
// converting bool rules accept: True, False, NumPy booleans, None (as false) and anything with a
// truth value, such as 0 and 1. Lists of True/False and 2-D buffers of one-byte booleans or
// unsigned bytes in any layout (NumPy arrays among them, in C or Fortran order, and memoryviews
// of them) take fast paths with the same outcome.
// Returns false, with no Python error set, when the object is not a sequence (nor such a
// buffer); a row that is not a sequence or an item without a truth value raises TypeError naming
// its row, column and type (chained to the exception, if any, that Python code raised).
// KeyboardInterrupt, from Python code or from a Ctrl-C during a long read, goes through.
bool loadGrid(pybind11::handle source, Grid& grid);

// A new list of new lists of True/False, one per row. A pending Ctrl-C raises KeyboardInterrupt
// part way through.
pybind11::list gridToList(const Grid& grid);

} // namespace corridex::binding

namespace pybind11::detail {

template <>
struct type_caster<corridex::Grid> {
    PYBIND11_TYPE_CASTER(corridex::Grid, const_name("list[list[bool]]"));

    // Every constructor taking a grid has one overload, so pybind11 calls this once, converting.
    bool load(handle source, bool /*convert*/) {
        return corridex::binding::loadGrid(source, value);
    }
    static handle cast(const corridex::Grid& grid, return_value_policy, handle) {
        return corridex::binding::gridToList(grid).release();
    }
};

} // namespace pybind11::detail
