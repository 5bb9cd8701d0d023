#include "module/bindings.hpp"

#include <pybind11/pybind11.h>

// PYBIND11_MODULE also refuses, with an ImportError, an interpreter other than the one the
// module was built for.
PYBIND11_MODULE(Corridex, module) {
    corridex::binding::installIndexAllocator();
    corridex::binding::registerIndex(module);
    corridex::binding::registerRandomMazeGenerator(module);
    corridex::binding::registerSolvers(module);
    module.attr("__version__") = CORRIDEX_VERSION;
}
