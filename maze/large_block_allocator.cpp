#include "maze/large_block_allocator.hpp"

#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace corridex::detail {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMinAdvisedBytes = std::size_t{4} << 20;
// The kernel may compact memory to find huge pages for an advised block, a stall that grows
// with the block; past 64 MiB it can cost more than the page faults it saves.
constexpr std::size_t kMaxAdvisedBytes = std::size_t{64} << 20;
constexpr std::size_t kPage = std::size_t{4} << 10;

bool hugePageBlock(std::size_t bytes) {
    return bytes >= kMinAdvisedBytes;
}

// Whole huge pages for blocks that get them, whole pages for the others.
std::size_t mappedSize(std::size_t bytes) {
    const std::size_t unit = hugePageBlock(bytes) ? kHugePage : kPage;
    return (bytes + unit - 1) / unit * unit;
}
} // namespace

#if defined(__linux__)
void* allocateLargeBlock(std::size_t bytes) {
    const std::size_t size = mappedSize(bytes);
    const std::size_t alignment = hugePageBlock(bytes) ? kHugePage : kPage;
    // Map one alignment more than needed, then trim the ends so the block starts on a boundary.
    const std::size_t mapped = size + alignment - kPage;
    void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + alignment - 1) & ~(alignment - 1);
    if (aligned > start) {
        munmap(raw, aligned - start);
    }
    const std::uintptr_t tail = aligned + size;
    if (start + mapped > tail) {
        munmap(reinterpret_cast<void*>(tail), start + mapped - tail);
    }
    void* block = reinterpret_cast<void*>(aligned);
    if (hugePageBlock(bytes) && size <= kMaxAdvisedBytes) {
        madvise(block, size, MADV_HUGEPAGE);
    }
    return block;
}

void releaseLargeBlock(void* block, std::size_t bytes) noexcept {
    munmap(block, mappedSize(bytes));
}
#else
void* allocateLargeBlock(std::size_t bytes) {
    return ::operator new(bytes, std::align_val_t{kHugePage});
}

void releaseLargeBlock(void* block, std::size_t) noexcept {
    ::operator delete(block, std::align_val_t{kHugePage});
}
#endif

} // namespace corridex::detail
