#include "maze/index.hpp"
#include "module/bindings.hpp"

#include <new>
#include <pybind11/pybind11.h>

namespace corridex::binding {

// Each Python Index owns a separately allocated value. Taken from Python's small-object heap,
// beside the object itself, the values go back to the system together with the objects' own
// memory, where the general allocator would keep the freed cells of a large result list for
// good. Every Index is made and released with the interpreter lock held, as that heap needs.
void installIndexAllocator() {
    useIndexAllocator({[](std::size_t bytes) {
                           void* cell = PyObject_Malloc(bytes);
                           if (cell == nullptr) {
                               throw std::bad_alloc();
                           }
                           return cell;
                       },
                       [](void* cell) noexcept { PyObject_Free(cell); }});
}

} // namespace corridex::binding
