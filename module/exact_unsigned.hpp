#pragma once

#include <cstdint>
#include <pybind11/pybind11.h>

namespace corridex::binding {

// An unsigned 64-bit argument that only integers fill: int (bool included) and objects with
// __index__, such as NumPy integers. pybind11's own conversion would also truncate a Decimal or
// a Fraction to an integer.
struct ExactUnsigned {
    std::uint64_t value = 0;
};

} // namespace corridex::binding

namespace pybind11::detail {

template <>
struct type_caster<corridex::binding::ExactUnsigned> {
    // Named as pybind11's own integer caster, so that signatures in doc strings read the same.
    PYBIND11_TYPE_CASTER(corridex::binding::ExactUnsigned, make_caster<std::uint64_t>::name);

    bool load(handle source, bool /*convert*/) {
        object integer;
        if (PyLong_Check(source.ptr()) != 0) {
            integer = reinterpret_borrow<object>(source);
        } else if (PyIndex_Check(source.ptr()) != 0) {
            integer = reinterpret_steal<object>(PyNumber_Index(source.ptr()));
            if (!integer) {
                PyErr_Clear();
                return false;
            }
        } else {
            return false;
        }
        make_caster<std::uint64_t> unsignedCaster;
        if (!unsignedCaster.load(integer, false)) {
            return false;
        }
        value.value = cast_op<std::uint64_t>(unsignedCaster);
        return true;
    }

    static handle cast(corridex::binding::ExactUnsigned number, return_value_policy policy,
                       handle parent) {
        return make_caster<std::uint64_t>::cast(number.value, policy, parent);
    }
};

} // namespace pybind11::detail
