#include "maze/memory_budget.hpp"

#include "maze/platform.hpp"

#include <new>
#include <string>

namespace corridex {
namespace {

class TooLarge : public std::bad_alloc {
public:
    explicit TooLarge(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

[[noreturn]] void refuse(const char* what, const std::string& size) {
    throw TooLarge(std::string(what) + " would need " + size +
                   " bytes, more than this machine's memory");
}

} // namespace

void requireFitsInMemory(std::uint64_t bytes, const char* what) {
    if (bytes > platform::physicalMemoryBytes()) { // never, when the system does not say
        refuse(what, std::to_string(bytes));
    }
}

std::uint64_t checkedProduct(std::uint64_t a, std::uint64_t b, const char* what) {
    std::uint64_t product = 0;
    if (platform::multiplyOverflows(a, b, product)) {
        refuse(what, "over 2^64");
    }
    return product;
}

} // namespace corridex
