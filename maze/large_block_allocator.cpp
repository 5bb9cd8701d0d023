#include "maze/large_block_allocator.hpp"

#include "maze/platform.hpp"

namespace corridex::detail {

namespace {
constexpr std::size_t kPage = std::size_t{4} << 10;
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMinAdvisedBytes = std::size_t{4} << 20;
// The kernel may compact memory to find huge pages for an advised block, a stall that grows
// with the block; past 64 MiB it can cost more than the page faults it saves.
constexpr std::size_t kMaxAdvisedBytes = std::size_t{64} << 20;

bool hugePageBlock(std::size_t bytes) {
    return bytes >= kMinAdvisedBytes;
}

std::size_t alignmentOf(std::size_t bytes) {
    return hugePageBlock(bytes) ? kHugePage : kPage;
}

// Whole huge pages for blocks that get them, whole pages for the others.
std::size_t mappedSize(std::size_t bytes) {
    const std::size_t unit = alignmentOf(bytes);
    return (bytes + unit - 1) / unit * unit;
}
} // namespace

void* allocateLargeBlock(std::size_t bytes) {
    const std::size_t size = mappedSize(bytes);
    void* block = platform::mapZeroedAligned(size, alignmentOf(bytes));
    if (hugePageBlock(bytes) && size <= kMaxAdvisedBytes) {
        platform::adviseHugePages(block, size);
    }
    return block;
}

void releaseLargeBlock(void* block, std::size_t bytes) noexcept {
    platform::unmapAligned(block, mappedSize(bytes), alignmentOf(bytes));
}

} // namespace corridex::detail
