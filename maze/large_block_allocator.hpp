#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <vector>

namespace corridex {

// Allocates blocks of 4 MiB and more straight from the operating system, aligned to 2 MiB and,
// up to 64 MiB, marked for transparent huge pages; smaller ones come from the default allocator.
// A graph of a large maze is filled once, right after allocation; with huge pages that costs one
// page fault per 2 MiB instead of one per 4 KiB. Released blocks, up to 64 MiB in all, are kept
// for the next request of the same size, which then needs neither faults nor cleared pages.
namespace detail {
// `bytes` of zeroed memory straight from the operating system, aligned to `alignment` (a power of
// two, at least the page size); std::bad_alloc when there is none. Given back with unmapAligned.
void* mapAligned(std::size_t bytes, std::size_t alignment);
void unmapAligned(void* block, std::size_t bytes, std::size_t alignment) noexcept;

void* allocateLargeBlock(std::size_t bytes);
void releaseLargeBlock(void* block, std::size_t bytes);
inline constexpr std::size_t kLargeBlockBytes = std::size_t{4} << 20;
} // namespace detail

template <class T>
struct LargeBlockAllocator {
    using value_type = T;

    LargeBlockAllocator() = default;
    template <class U>
    explicit LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > SIZE_MAX / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        const std::size_t bytes = count * sizeof(T);
        if (bytes < detail::kLargeBlockBytes) {
            return std::allocator<T>().allocate(count);
        }
        return static_cast<T*>(detail::allocateLargeBlock(bytes));
    }

    void deallocate(T* block, std::size_t count) noexcept {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < detail::kLargeBlockBytes) {
            std::allocator<T>().deallocate(block, count);
        } else {
            detail::releaseLargeBlock(block, bytes);
        }
    }

    template <class U>
    bool operator==(const LargeBlockAllocator<U>&) const noexcept {
        return true;
    }
    template <class U>
    bool operator!=(const LargeBlockAllocator<U>&) const noexcept {
        return false;
    }
};

// The container for the per-node and per-cell arrays of large mazes.
template <class T>
using LargeVector = std::vector<T, LargeBlockAllocator<T>>;

} // namespace corridex
