#include "maze/large_block_allocator.hpp"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

namespace corridex {
namespace {

using detail::allocateLargeBlock;
using detail::releaseLargeBlock;

constexpr std::size_t kMiB = std::size_t{1} << 20;

TEST(LargeBlockTest, BlocksAreAlignedWritableAndReusedAtTheSameSizeOnly) {
    void* first = allocateLargeBlock(6 * kMiB);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % (2 * kMiB), 0U);
    std::memset(first, 0xAB, 6 * kMiB);
    releaseLargeBlock(first, 6 * kMiB);

    void* other = allocateLargeBlock(10 * kMiB); // a different size: a fresh block
    void* again = allocateLargeBlock(6 * kMiB);
#if defined(__linux__)
    EXPECT_EQ(again, first) << "the released block is kept for the same size";
#endif
    EXPECT_NE(again, other);
    std::memset(again, 0, 6 * kMiB);
    void* second = allocateLargeBlock(6 * kMiB); // the kept block is handed out once
    EXPECT_NE(second, again);
    std::memset(second, 1, 6 * kMiB);
    for (void* block : {other, again, second}) {
        releaseLargeBlock(block, block == other ? 10 * kMiB : 6 * kMiB);
    }
}

TEST(LargeBlockTest, VectorsOfManyMegabytesFillAndRefill) {
    for (std::size_t round = 0; round < 12; ++round) {
        // More rounds and bytes than are kept, so kept blocks are also given back.
        LargeVector<std::uint64_t> values((3 + round % 4) * kMiB, 7);
        EXPECT_EQ(values.front(), 7U);
        EXPECT_EQ(values.back(), 7U);
    }
}

} // namespace
} // namespace corridex
