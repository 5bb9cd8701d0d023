#include "maze/large_block_allocator.hpp"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace corridex::detail {

#if defined(__linux__)
namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMaxAdvisedBytes = std::size_t{64} << 20;
std::size_t roundUp(std::size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}
} // namespace

void* allocateLargeBlock(std::size_t bytes) {
    const std::size_t size = roundUp(bytes);
    // Map one huge page more than needed, then trim the ends so the block starts on a boundary.
    const std::size_t mapped = size + kHugePage;
    void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start) {
        munmap(raw, aligned - start);
    }
    const std::uintptr_t tail = aligned + size;
    if (start + mapped > tail) {
        munmap(reinterpret_cast<void*>(tail), start + mapped - tail);
    }
    void* block = reinterpret_cast<void*>(aligned);
    // The kernel may compact memory to find huge pages for an advised block, a stall that grows
    // with the block; past 64 MiB it can cost more than the page faults it saves.
    if (size <= kMaxAdvisedBytes) {
        madvise(block, size, MADV_HUGEPAGE);
    }
    return block;
}

void releaseLargeBlock(void* block, std::size_t bytes) {
    munmap(block, roundUp(bytes));
}
#else
void* allocateLargeBlock(std::size_t bytes) {
    return ::operator new(bytes);
}
void releaseLargeBlock(void* block, std::size_t) {
    ::operator delete(block);
}
#endif

} // namespace corridex::detail
