#pragma once

#include <pybind11/pybind11.h>

namespace corridex::binding {

// Each adds one area of the Python surface to the module.
void registerIndex(pybind11::module_& module);
void registerRandomMazeGenerator(pybind11::module_& module);
void registerSolvers(pybind11::module_& module);

} // namespace corridex::binding
