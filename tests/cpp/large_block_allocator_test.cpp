#include "system/large_block_allocator.hpp"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace corridex {
namespace {

using detail::allocateLargeBlock;
using detail::keptBlockBytes;
using detail::releaseLargeBlock;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// Lets every kept block rest past its time, then makes a small allocation, which gives them back.
void restAndCallOnce() {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const LargeVector<int> small(3);
    EXPECT_EQ(keptBlockBytes(), 0U);
}

TEST(LargeBlockTest, BlocksAreAlignedWritableAndDistinct) {
    // An odd size, so that rounding up to whole huge pages is exercised on both calls.
    const std::size_t bytes = 6 * kMiB + 12345;
    void* first = allocateLargeBlock(bytes);
    void* second = allocateLargeBlock(bytes);
    EXPECT_NE(first, second);
    for (void* block : {first, second}) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % (2 * kMiB), 0U);
        std::memset(block, 0xAB, bytes);
        releaseLargeBlock(block, bytes);
    }
    restAndCallOnce();
}

TEST(LargeBlockTest, ReleasedBlocksServeTheSameMappedSizeOnceThenRestAndGoBack) {
    restAndCallOnce();
    // Sizes a few hundred bytes apart map to one size; the kept block is handed out once.
    for (const std::size_t bytes : {std::size_t{300} << 10, 6 * kMiB + 12345}) {
        void* first = allocateLargeBlock(bytes);
        releaseLargeBlock(first, bytes);
        EXPECT_GE(keptBlockBytes(), bytes);
        void* other = allocateLargeBlock(2 * bytes); // another size: a fresh block
        void* again = allocateLargeBlock(bytes + 100);
        EXPECT_EQ(again, first);
        void* second = allocateLargeBlock(bytes);
        EXPECT_NE(second, again);
        std::memset(again, 1, bytes + 100); // reused memory is fully writable
        for (void* block : {again, second}) {
            releaseLargeBlock(block, bytes);
        }
        releaseLargeBlock(other, 2 * bytes);
        restAndCallOnce();
    }
}

// A block released now and how long ago that was; for the tests that need it kept, which is so
// only while it has rested less than half a second (on a stalled machine, it need not be).
class Released {
public:
    Released(void* block, std::size_t bytes) : at_(Clock::now()) {
        releaseLargeBlock(block, bytes);
    }
    bool stillKept() const { return Clock::now() - at_ < std::chrono::milliseconds(450); }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point at_;
};

TEST(LargeBlockTest, AReleasedBlockIsKeptWhileItRestsLessThanHalfASecond) {
    restAndCallOnce();
    const std::size_t bytes = 6 * kMiB + 12345;
    void* block = allocateLargeBlock(bytes);
    const std::size_t keptBefore = keptBlockBytes();
    const Released released(block, bytes);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const LargeVector<int> small(3); // gives back only blocks that have rested long enough
    if (!released.stillKept()) {
        GTEST_SKIP() << "the machine stalled past the rest while the test slept";
    }
    EXPECT_GT(keptBlockBytes(), keptBefore);
    void* again = allocateLargeBlock(bytes);
    EXPECT_EQ(again, block);
    releaseLargeBlock(again, bytes);
    restAndCallOnce();
}

TEST(LargeBlockTest, AReleasedBlockServesNoSmallerRequest) {
    restAndCallOnce();
    for (const std::size_t bytes : {std::size_t{300} << 10, 6 * kMiB + 12345}) {
        void* large = allocateLargeBlock(2 * bytes);
        const Released released(large, 2 * bytes);
        const std::size_t kept = keptBlockBytes();
        void* small = allocateLargeBlock(bytes);
        if (!released.stillKept()) {
            GTEST_SKIP() << "the machine stalled past the rest";
        }
        // The larger block would be handed out with its tail never given back.
        EXPECT_NE(small, large);
        EXPECT_EQ(keptBlockBytes(), kept);
        releaseLargeBlock(small, bytes);
        restAndCallOnce();
    }
}

TEST(LargeBlockTest, VectorsOfManyMegabytesFillAndRefill) {
    // More bytes in all than are kept, so kept blocks are also given back while in use.
    for (std::size_t round = 0; round < 40; ++round) {
        LargeVector<std::uint64_t> values((3 + round % 5) * kMiB, round);
        const LargeVector<std::uint64_t> held((1 + round % 3) * kMiB, ~round);
        EXPECT_EQ(values.front(), round);
        EXPECT_EQ(values.back(), round);
        EXPECT_EQ(held.back(), ~round);
    }
    restAndCallOnce();
}

} // namespace
} // namespace corridex
