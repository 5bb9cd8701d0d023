#include "maze/index.hpp"

#include "maze/address_sanitizer.hpp"
#include "maze/index_pool.hpp"

#include <new>

namespace corridex {

namespace {
// Under AddressSanitizer each Index keeps its own allocation, so that a use after release is
// still caught.
constexpr bool kPooled = !kAddressSanitizer;

static_assert(sizeof(Index) == detail::kIndexCellBytes &&
              alignof(Index) <= detail::kIndexCellBytes);
} // namespace

void* Index::operator new(std::size_t bytes) {
    if (!kPooled || bytes != sizeof(Index)) {
        return ::operator new(bytes);
    }
    return detail::allocateIndexCell();
}

void Index::operator delete(void* cell, std::size_t bytes) noexcept {
    if (cell == nullptr) {
        return;
    }
    if (!kPooled || bytes != sizeof(Index)) {
        ::operator delete(cell);
        return;
    }
    detail::releaseIndexCell(cell);
}

std::string toString(const Index& index) {
    return std::to_string(index.row) + ',' + std::to_string(index.col);
}

} // namespace corridex
