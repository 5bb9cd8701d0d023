#include "system/memory_budget.hpp"

#include "system/large_block_allocator.hpp"
#include "system/platform.hpp"

#include <cstddef>
#include <cstdio>
#include <new>
#include <string>
#include <utility>

namespace corridex {
namespace {

class TooLarge : public std::bad_alloc {
public:
    explicit TooLarge(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

[[noreturn]] void refuse(const char* what, const std::string& need, const char* purpose,
                         const platform::MemoryLimit& limit) {
    std::string message = std::string(what) + " would need " + need;
    if (purpose != nullptr) {
        message += std::string(" for ") + purpose;
    }
    message += "; the limit is " + describeBytes(limit.bytes) + " (" + limit.source;
    if (limit.inUse != 0) {
        message += ", " + describeBytes(limit.inUse) + " of it in use";
    }
    throw TooLarge(message + ")");
}

} // namespace

std::string describeBytes(std::uint64_t bytes) {
    if (bytes < 1024) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double size = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    // 1023.95 and up would print as 1024.0 of the smaller unit.
    while (size >= 1023.95 && unit + 1 < sizeof(kUnits) / sizeof(kUnits[0])) {
        size /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f %s", size, kUnits[unit]);
    return text;
}

void requireFitsInMemory(std::uint64_t requested, const char* what, const char* purpose) {
    // Smaller blocks come from the C library's heap; measuring the limits takes system calls,
    // which would cost a small maze's solve more than its work.
    if (requested < detail::kLargeBlockBytes) {
        return;
    }
    // A large block is mapped rounded up (by up to an eighth of its size), and aligned by
    // mapping a huge page more and trimming it: address space that a limit counts.
    constexpr std::uint64_t kHugePage = std::uint64_t{2} << 20;
    std::uint64_t bytes = requested;
    if (platform::addOverflows(requested, requested / 8 + 2 * kHugePage, bytes)) {
        bytes = UINT64_MAX;
    }
    platform::MemoryLimit limit = platform::memoryLimit();
    if (bytes <= limit.free()) {
        return;
    }
    // Released blocks kept for reuse count as in use; given back, they may make room.
    if (detail::keptBlockBytes() != 0) {
        detail::returnKeptBlocks();
        limit = platform::memoryLimit();
        if (bytes <= limit.free()) {
            return;
        }
    }
    std::string need = "about " + describeBytes(requested);
    if (requested <= limit.free()) { // only the rounding and alignment are beyond the limit
        need += ", " + describeBytes(bytes) + " as mapped";
    }
    refuse(what, need, purpose, limit);
}

std::uint64_t checkedProduct(std::uint64_t a, std::uint64_t b, const char* what,
                             const char* purpose) {
    std::uint64_t product = 0;
    if (platform::multiplyOverflows(a, b, product)) {
        refuse(what, "more than 2^64 bytes", purpose, platform::memoryLimit());
    }
    return product;
}

} // namespace corridex
