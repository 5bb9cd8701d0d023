#pragma once

#include <cstdint>
#include <string>

namespace corridex {

// Throws std::bad_alloc when `bytes` would not fit in the memory this process can get (the
// smallest of physical memory, its resource limits and its control group's limit): better
// refused up front than granted lazily and then killed. The message names `what`, the bytes,
// `purpose` when given, and the limit with where it comes from: "WHAT would need about 12.0 GiB
// for PURPOSE; the limit is 4.0 GiB (RLIMIT_AS)".
void requireFitsInMemory(std::uint64_t bytes, const char* what, const char* purpose = nullptr);

// a * b, or throws std::bad_alloc, with a message as above, when the product does not fit in
// 64 bits.
std::uint64_t checkedProduct(std::uint64_t a, std::uint64_t b, const char* what,
                             const char* purpose = nullptr);

// "512 bytes", "1.5 KiB", ... "12.0 GiB", "16.0 EiB": the sizes the messages above give.
std::string describeBytes(std::uint64_t bytes);

} // namespace corridex
