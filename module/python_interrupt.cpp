#include "module/python_interrupt.hpp"

#include <pybind11/pybind11.h>

namespace corridex::binding {

CancellationPoll pythonInterruptPoll() {
    return CancellationPoll([] {
        if (PyErr_CheckSignals() != 0) {
            throw pybind11::error_already_set();
        }
    });
}

} // namespace corridex::binding
