#pragma once

#include "maze/index.hpp"

#include <pybind11/pybind11.h>

// pybind11 lets Python make an object of a bound class through __new__ alone, and its own
// caster then hands methods uninitialised memory; the caster below refuses such an object.
// Every translation unit that converts one of the module's classes must see its caster.

namespace corridex::binding {

// Throws TypeError when `object` is an instance of the bound class `cls` whose value was never
// constructed (made by __new__ without __init__); any other object passes.
void requireConstructed(pybind11::handle object, pybind11::handle cls);

// Makes a second __init__ on a constructed object of `cls` raise TypeError, where pybind11
// would ignore it; __init__ keeps its name, doc string and module. Called after the class's
// last def.
void refuseSecondInit(pybind11::handle cls);

// The name of the innermost method put in place by refuseSecondInit that is running ("__init__"),
// for messages about its arguments; empty when none is.
const char* runningMethodName();

// Raises TypeError("cannot pickle 'Name' object"), Python's words for an object that it cannot
// pickle: the __reduce_ex__ of classes that own native state, so that pickle at every protocol,
// copy.copy and copy.deepcopy refuse them.
[[noreturn]] void refusePickling(pybind11::handle cls);

// pybind11's caster for a bound class, refusing objects whose value was never constructed.
template <class T>
struct ConstructedCaster : pybind11::detail::type_caster_base<T> {
    bool load(pybind11::handle source, bool convert) {
        requireConstructed(source, pybind11::type::of<T>());
        return pybind11::detail::type_caster_base<T>::load(source, convert);
    }
};

} // namespace corridex::binding

namespace pybind11::detail {
template <>
struct type_caster<corridex::Index> : corridex::binding::ConstructedCaster<corridex::Index> {};
} // namespace pybind11::detail
