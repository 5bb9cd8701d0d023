#pragma once

#include "maze/index.hpp"

#include <pybind11/pybind11.h>

// What the binding does below pybind11's public API: its layout of instances and its function
// records, used only for the releases CMakeLists.txt accepts. Each facility has a branch through
// the public API alone, compiled when CORRIDEX_PYBIND11_PUBLIC_API_ONLY is defined (CMake
// defines it for a pybind11 outside that range); results are the same, at some cost in speed.

namespace pybind11::detail {
struct type_info;
} // namespace pybind11::detail

namespace corridex::binding::internals {

// Makes new Python Index objects, each owning a copy of a cell. Needs the interpreter lock.
class IndexObjectMaker {
public:
    // Looks the Index class up once; throws TypeError when it is not registered yet.
    IndexObjectMaker();
    // A new reference; throws (error_already_set, bad_alloc) rather than return null.
    PyObject* operator()(const Index& cell) const;

#ifndef CORRIDEX_PYBIND11_PUBLIC_API_ONLY
private:
    // The public-API branch has none: it lets pybind11 look the class up. (Not
    // [[maybe_unused]], which GCC 10 ignores on a data member, with a warning.)
    const pybind11::detail::type_info* indexType_ = nullptr;
#endif
};

// Whether `object`, when it is an instance of the bound class `cls`, holds a constructed value;
// true for any other object. An object made by __new__ alone holds none until its __init__ has
// returned.
bool isConstructed(PyObject* object, PyTypeObject* cls);

// Prepares the bound class `cls` for isConstructed and records, for the stand-in __init__ that
// refuseSecondInit puts in front of `init` (pybind11's own), what it is bound to: pybind11's
// function record of `init` where the internals are used, so that the two read alike; `init`
// itself otherwise.
pybind11::object prepareInitStandIn(pybind11::handle cls, pybind11::handle init);

// Called by the stand-in __init__ once pybind11's __init__ has constructed `object`.
void constructed(PyObject* object);

} // namespace corridex::binding::internals
