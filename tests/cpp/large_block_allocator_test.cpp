#include "maze/large_block_allocator.hpp"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

namespace corridex {
namespace {

using detail::allocateLargeBlock;
using detail::releaseLargeBlock;

constexpr std::size_t kMiB = std::size_t{1} << 20;

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
}

TEST(LargeBlockTest, VectorsOfManyMegabytesFillAndRefill) {
    for (std::size_t round = 0; round < 12; ++round) {
        LargeVector<std::uint64_t> values((3 + round % 4) * kMiB, 7);
        EXPECT_EQ(values.front(), 7U);
        EXPECT_EQ(values.back(), 7U);
    }
}

} // namespace
} // namespace corridex
