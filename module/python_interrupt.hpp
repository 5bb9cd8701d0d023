#pragma once

#include "maze/cancellation.hpp"

namespace corridex::binding {

// A poll that raises the pending Python exception (KeyboardInterrupt after Ctrl-C) out of long
// work. The work runs with the interpreter lock held, so signal handlers run only here.
CancellationPoll pythonInterruptPoll();

} // namespace corridex::binding
