#pragma once

#include "maze/index.hpp"
#include "system/large_block_allocator.hpp"

#include <pybind11/pybind11.h>
#include <vector>

namespace corridex::binding {

// A new list of new Index objects copied from `cells`, in order.
pybind11::list toIndexList(const LargeVector<Index>& cells);

} // namespace corridex::binding
