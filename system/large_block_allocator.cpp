#include "system/large_block_allocator.hpp"

#include "system/platform.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <new>

namespace corridex::detail {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMinAdvisedBytes = std::size_t{4} << 20;

// Whole huge pages from 4 MiB up. Smaller blocks are rounded up to an eighth of their highest
// power of two (whole pages at least), so that arrays of nearly the same size, as two inputs of
// one size give, map to the same size and can take each other's block; pages past
// the requested size are never touched, so the rounding costs address space only.
std::size_t mappedSize(std::size_t bytes) {
    std::size_t unit = kHugePage;
    if (bytes < kMinAdvisedBytes) {
        std::size_t power = platform::pageSize();
        while (power <= bytes / 2) {
            power *= 2;
        }
        unit = std::max(power / 8, platform::pageSize());
    }
    return (bytes + unit - 1) / unit * unit;
}

// Blocks that map to 4 MiB or more are aligned for huge pages.
std::size_t alignmentOf(std::size_t size) {
    return size >= kMinAdvisedBytes ? kHugePage : platform::pageSize();
}

using Clock = std::chrono::steady_clock;

// Released blocks, kept for the next request that maps to the same size: a program that builds
// the same arrays again and again for inputs of one size would otherwise have the kernel fault
// in and clear the same tens of megabytes each time, which can cost as much as filling them. A
// kept block goes back to the system once it has rested kRest unused: the first allocator call
// after that (of any size) returns it, so a process that stops working shrinks at its next
// call, and one that keeps working never waits for the kernel. At most kMaxBytes in kMaxBlocks are
// kept, the oldest going back first.
class ReleasedBlocks {
public:
    // A kept block of exactly `size` mapped bytes, or nullptr.
    void* take(std::size_t size) {
        const std::lock_guard<std::mutex> guard(lock_);
        returnRested(Clock::now());
        for (std::size_t i = count_; i-- > 0;) {
            if (blocks_[i].size == size) {
                void* block = blocks_[i].start;
                removeAt(i);
                return block;
            }
        }
        return nullptr;
    }

    // Keeps `block` of `size` mapped bytes, or gives it back when it is too large to keep.
    void keep(void* block, std::size_t size) noexcept {
        if (size > kMaxBytes) {
            unmap(block, size);
            return;
        }
        const std::lock_guard<std::mutex> guard(lock_);
        const Clock::time_point now = Clock::now();
        returnRested(now);
        while (count_ == kMaxBlocks || bytes_ + size > kMaxBytes) {
            unmap(blocks_[0].start, blocks_[0].size);
            removeAt(0);
        }
        blocks_[count_++] = {block, size, now};
        bytes_ += size;
        held_.store(true, std::memory_order_relaxed);
    }

    // Gives back every block that has rested long enough. Cheap while nothing is kept.
    void returnRestedBlocks() noexcept {
        if (!held_.load(std::memory_order_relaxed)) {
            return;
        }
        const std::lock_guard<std::mutex> guard(lock_);
        returnRested(Clock::now());
    }

    void returnAll() noexcept {
        const std::lock_guard<std::mutex> guard(lock_);
        while (count_ > 0) {
            unmap(blocks_[0].start, blocks_[0].size);
            removeAt(0);
        }
    }

    std::size_t keptBytes() noexcept {
        const std::lock_guard<std::mutex> guard(lock_);
        return bytes_;
    }

private:
    static constexpr std::size_t kMaxBytes = std::size_t{256} << 20;
    static constexpr std::size_t kMaxBlocks = 16;
    static constexpr Clock::duration kRest = std::chrono::milliseconds(500);
    struct Block {
        void* start = nullptr;
        std::size_t size = 0;
        Clock::time_point released;
    };

    static void unmap(void* block, std::size_t size) noexcept {
        platform::unmapAligned(block, size, alignmentOf(size));
    }

    // The blocks are in the order they were released, so the rested ones lead.
    void returnRested(Clock::time_point now) noexcept {
        while (count_ > 0 && now - blocks_[0].released >= kRest) {
            unmap(blocks_[0].start, blocks_[0].size);
            removeAt(0);
        }
    }

    void removeAt(std::size_t i) noexcept {
        bytes_ -= blocks_[i].size;
        for (std::size_t j = i + 1; j < count_; ++j) {
            blocks_[j - 1] = blocks_[j];
        }
        --count_;
        held_.store(count_ > 0, std::memory_order_relaxed);
    }

    std::mutex lock_;
    std::array<Block, kMaxBlocks> blocks_{}; // oldest first
    std::size_t count_ = 0;
    std::size_t bytes_ = 0;
    std::atomic<bool> held_{false};
};

// Never destroyed: vectors can be released while the program exits.
ReleasedBlocks& releasedBlocks() {
    static auto* const released = new ReleasedBlocks;
    return *released;
}
} // namespace

void* allocateLargeBlock(std::size_t bytes) {
    const std::size_t size = mappedSize(bytes);
    if (void* kept = releasedBlocks().take(size)) {
        return kept;
    }
    void* block = nullptr;
    try {
        block = platform::mapZeroedAligned(size, alignmentOf(size));
    } catch (const std::bad_alloc&) {
        // The kept blocks hold address space that a resource limit counts.
        if (keptBlockBytes() == 0) {
            throw;
        }
        releasedBlocks().returnAll();
        block = platform::mapZeroedAligned(size, alignmentOf(size));
    }
    if (size >= kMinAdvisedBytes) {
        platform::adviseHugePages(block, size);
    }
    return block;
}

void releaseLargeBlock(void* block, std::size_t bytes) noexcept {
    releasedBlocks().keep(block, mappedSize(bytes));
}

void returnRestedBlocks() noexcept {
    releasedBlocks().returnRestedBlocks();
}

std::size_t keptBlockBytes() noexcept {
    return releasedBlocks().keptBytes();
}

void returnKeptBlocks() noexcept {
    releasedBlocks().returnAll();
}

} // namespace corridex::detail
