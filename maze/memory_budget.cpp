#include "maze/memory_budget.hpp"

#include <new>
#include <string>
#include <unistd.h>

namespace corridex {
namespace {

class TooLarge : public std::bad_alloc {
public:
    explicit TooLarge(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

std::uint64_t physicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) {
        return UINT64_MAX; // unknown: let the allocator decide
    }
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

[[noreturn]] void refuse(const char* what, const std::string& size) {
    throw TooLarge(std::string(what) + " would need " + size +
                   " bytes, more than this machine's memory");
}

} // namespace

void requireFitsInMemory(std::uint64_t bytes, const char* what) {
    if (bytes > physicalMemory()) {
        refuse(what, std::to_string(bytes));
    }
}

std::uint64_t checkedProduct(std::uint64_t a, std::uint64_t b, const char* what) {
    std::uint64_t product = 0;
    if (__builtin_mul_overflow(a, b, &product)) {
        refuse(what, "over 2^64");
    }
    return product;
}

} // namespace corridex
