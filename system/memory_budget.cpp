#include "system/memory_budget.hpp"

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

[[noreturn]] void refuse(const char* what, const std::string& need, const char* purpose) {
    const platform::MemoryLimit limit = platform::memoryLimit();
    std::string message = std::string(what) + " would need " + need;
    if (purpose != nullptr) {
        message += std::string(" for ") + purpose;
    }
    message += "; the limit is " + describeBytes(limit.bytes) + " (" + limit.source + ")";
    throw TooLarge(message);
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

void requireFitsInMemory(std::uint64_t bytes, const char* what, const char* purpose) {
    if (bytes > platform::memoryLimit().bytes) {
        refuse(what, "about " + describeBytes(bytes), purpose);
    }
}

std::uint64_t checkedProduct(std::uint64_t a, std::uint64_t b, const char* what,
                             const char* purpose) {
    std::uint64_t product = 0;
    if (platform::multiplyOverflows(a, b, product)) {
        refuse(what, "more than 2^64 bytes", purpose);
    }
    return product;
}

} // namespace corridex
