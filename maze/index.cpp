#include "maze/index.hpp"

#include <new>

namespace corridex {

namespace {
void* globalAllocate(std::size_t bytes) {
    return ::operator new(bytes);
}
void globalRelease(void* cell) noexcept {
    ::operator delete(cell);
}

IndexAllocator indexAllocator{globalAllocate, globalRelease};
} // namespace

void useIndexAllocator(IndexAllocator allocator) noexcept {
    indexAllocator = allocator;
}

void* Index::operator new(std::size_t bytes) {
    return indexAllocator.allocate(bytes);
}

void Index::operator delete(void* cell) noexcept {
    if (cell != nullptr) {
        indexAllocator.release(cell);
    }
}

std::string toString(const Index& index) {
    return std::to_string(index.row) + ',' + std::to_string(index.col);
}

} // namespace corridex
