#pragma once

#include <cstdint>
#include <string>

namespace corridex {

// Throws std::bad_alloc when `requested` bytes, as the large-block allocator maps them (rounded up
// and aligned, see there), would not fit in the memory this process can still get (what
// platform::memoryLimit leaves free: physical memory, its resource limits less what it holds under
// them, its control group's limit), after giving back the released blocks kept for reuse if that
// makes room: better refused up front than granted lazily and then killed. The message names
// `what`, the bytes, `purpose` when given, and the limit with where it comes from, as in "a table
// would need about 12.0 GiB for 40000 x 40000 entries; the limit is 4.0 GiB (RLIMIT_AS, 1.2 GiB of
// it in use)". Needs below the large-block size (256 KiB), which the C library's heap serves, pass
// unchecked.
void requireFitsInMemory(std::uint64_t requested, const char* what, const char* purpose = nullptr);

// a * b, or throws std::bad_alloc, with a message as above, when the product does not fit in
// 64 bits.
std::uint64_t checkedProduct(std::uint64_t a, std::uint64_t b, const char* what,
                             const char* purpose = nullptr);

// "512 bytes", "1.5 KiB", ... "12.0 GiB", "16.0 EiB": the sizes the messages above give.
std::string describeBytes(std::uint64_t bytes);

} // namespace corridex
