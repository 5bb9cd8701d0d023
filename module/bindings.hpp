#pragma once

#include <pybind11/pybind11.h>

namespace corridex::binding {

// Makes `new Index` use Python's allocator; called before any Index exists.
void installIndexAllocator();

// Each adds one area of the Python surface to the module.
void registerIndex(pybind11::module_& module);
void registerRandomMazeGenerator(pybind11::module_& module);
void registerSolvers(pybind11::module_& module);

} // namespace corridex::binding
