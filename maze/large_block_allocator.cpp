#include "maze/large_block_allocator.hpp"

#include <array>
#include <cstdint>
#include <mutex>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace corridex::detail {

#if defined(__linux__)
void* mapAligned(std::size_t bytes, std::size_t alignment) {
    // Map one alignment more than needed, then trim the ends so the block starts on a boundary.
    const std::size_t mapped = bytes + alignment;
    void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + alignment - 1) & ~(alignment - 1);
    if (aligned > start) {
        munmap(raw, aligned - start);
    }
    const std::uintptr_t tail = aligned + bytes;
    if (start + mapped > tail) {
        munmap(static_cast<char*>(raw) + (tail - start), start + mapped - tail);
    }
    return static_cast<char*>(raw) + (aligned - start);
}

void unmapAligned(void* block, std::size_t bytes, std::size_t) noexcept {
    munmap(block, bytes);
}

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMaxAdvisedBytes = std::size_t{64} << 20;
std::size_t roundUp(std::size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

// Released blocks kept for the next request of the same size: a program that solves maze after
// maze of one size would otherwise have the kernel clear the same tens of megabytes for each
// solver, which costs about as much as building its graph. At most kMaxBytes are kept, the
// oldest blocks going back to the system first.
class FreedBlocks {
public:
    // A kept block of exactly `size` bytes, or nullptr.
    void* take(std::size_t size) {
        const std::lock_guard<std::mutex> guard(lock_);
        for (std::size_t i = count_; i-- > 0;) {
            if (blocks_[i].size == size) {
                void* block = blocks_[i].start;
                for (std::size_t j = i + 1; j < count_; ++j) {
                    blocks_[j - 1] = blocks_[j];
                }
                --count_;
                bytes_ -= size;
                return block;
            }
        }
        return nullptr;
    }

    // Keeps `block` of `size` bytes, or returns it to the system when it is too large to keep.
    void keep(void* block, std::size_t size) noexcept {
        if (size > kMaxBytes) {
            unmapAligned(block, size, kHugePage);
            return;
        }
        const std::lock_guard<std::mutex> guard(lock_);
        std::size_t evicted = 0;
        while (count_ - evicted == kMaxBlocks || bytes_ + size > kMaxBytes) {
            unmapAligned(blocks_[evicted].start, blocks_[evicted].size, kHugePage);
            bytes_ -= blocks_[evicted].size;
            ++evicted;
        }
        for (std::size_t j = evicted; j < count_; ++j) {
            blocks_[j - evicted] = blocks_[j];
        }
        count_ -= evicted;
        blocks_[count_++] = {block, size};
        bytes_ += size;
    }

private:
    static constexpr std::size_t kMaxBytes = std::size_t{64} << 20;
    static constexpr std::size_t kMaxBlocks = 8;
    struct Block {
        void* start = nullptr;
        std::size_t size = 0;
    };

    std::mutex lock_;
    std::array<Block, kMaxBlocks> blocks_{}; // oldest first
    std::size_t count_ = 0;
    std::size_t bytes_ = 0;
};

// Never destroyed: vectors can be released while the program exits.
FreedBlocks& freedBlocks() {
    static auto* const freed = new FreedBlocks;
    return *freed;
}
} // namespace

void* allocateLargeBlock(std::size_t bytes) {
    const std::size_t size = roundUp(bytes);
    if (void* kept = freedBlocks().take(size)) {
        return kept;
    }
    void* block = mapAligned(size, kHugePage);
    // The kernel may compact memory to find huge pages for an advised block, a stall that grows
    // with the block; past 64 MiB it can cost more than the page faults it saves.
    if (size <= kMaxAdvisedBytes) {
        madvise(block, size, MADV_HUGEPAGE);
    }
    return block;
}

void releaseLargeBlock(void* block, std::size_t bytes) {
    freedBlocks().keep(block, roundUp(bytes));
}
#else
void* mapAligned(std::size_t bytes, std::size_t alignment) {
    return ::operator new (bytes, std::align_val_t{alignment});
}

void unmapAligned(void* block, std::size_t, std::size_t alignment) noexcept {
    ::operator delete (block, std::align_val_t{alignment});
}

void* allocateLargeBlock(std::size_t bytes) {
    return ::operator new(bytes);
}
void releaseLargeBlock(void* block, std::size_t) {
    ::operator delete(block);
}
#endif

} // namespace corridex::detail
