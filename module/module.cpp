#include "module/bindings.hpp"

#include <pybind11/pybind11.h>

// pybind11's entry function takes the interpreter lock through PyGILState_Ensure, which in a
// subinterpreter waits for ever on the lock that its own thread already holds. So pybind11's
// entry is renamed, and the module's own entry refuses a subinterpreter before calling it.
#define PyInit_Corridex pybind11EntryOfCorridex

// PYBIND11_MODULE also refuses, with an ImportError, an interpreter other than the one the
// module was built for.
PYBIND11_MODULE(Corridex, module) {
    corridex::binding::installIndexAllocator();
    corridex::binding::registerIndex(module);
    corridex::binding::registerRandomMazeGenerator(module);
    corridex::binding::registerSolvers(module);
    module.attr("__version__") = CORRIDEX_VERSION;
}

#undef PyInit_Corridex

extern "C" PYBIND11_EXPORT PyObject* PyInit_Corridex();

extern "C" PYBIND11_EXPORT PyObject* PyInit_Corridex() {
    if (PyInterpreterState_Get() != PyInterpreterState_Main()) {
        PyErr_SetString(PyExc_ImportError,
                        "Corridex cannot be imported in a subinterpreter: its binding library "
                        "supports the main interpreter only; import it there instead");
        return nullptr;
    }
    return pybind11EntryOfCorridex();
}
