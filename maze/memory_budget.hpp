#pragma once

#include <cstdint>

namespace corridex {

// Throws std::bad_alloc, with a message naming `what`, when `bytes` would not fit in the
// machine's physical memory: better refused up front than granted lazily and then killed.
void requireFitsInMemory(std::uint64_t bytes, const char* what);

// a * b, or throws std::bad_alloc naming `what` when the product does not fit in 64 bits.
std::uint64_t checkedProduct(std::uint64_t a, std::uint64_t b, const char* what);

} // namespace corridex
