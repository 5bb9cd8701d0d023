#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace corridex {

// Allocates blocks of 256 KiB and more straight from the operating system; smaller ones come
// from the default allocator. Those of 4 MiB and more are aligned to 2 MiB and marked for
// transparent huge pages: a large array is usually filled once, right after allocation, and
// with huge pages that costs one page fault per 2 MiB instead of one per 4 KiB.
// A released block is kept for a later request of the same mapped size until it has rested
// half a second; the next allocation of any size after that gives it back to the system. So a
// program that builds arrays of one size again and again reuses pages the kernel has already
// faulted in, and one that has stopped shrinks at its next call. (The C library's allocator would
// serve mid-sized blocks from its heap once it had seen a large block freed, and keep tens of
// megabytes of them.)
namespace detail {
// A block of at least `bytes`, its contents unspecified; std::bad_alloc when there is none.
void* allocateLargeBlock(std::size_t bytes);
void releaseLargeBlock(void* block, std::size_t bytes) noexcept;
// Gives back the kept blocks that have rested long enough; cheap when none is kept.
void returnRestedBlocks() noexcept;
// The bytes of released blocks kept now.
std::size_t keptBlockBytes() noexcept;
// Gives back every kept block, rested or not: when memory runs short.
void returnKeptBlocks() noexcept;
inline constexpr std::size_t kLargeBlockBytes = std::size_t{256} << 10;
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
            detail::returnRestedBlocks();
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

// The container for large arrays that are filled once and dropped whole.
template <class T>
using LargeVector = std::vector<T, LargeBlockAllocator<T>>;

} // namespace corridex
