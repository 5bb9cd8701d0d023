#include "system/platform.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace corridex {
namespace {

constexpr std::uint64_t kMax = UINT64_MAX;
constexpr std::uint64_t k2to32 = std::uint64_t{1} << 32;
constexpr std::size_t kMiB = std::size_t{1} << 20;

TEST(PlatformTest, OverflowChecksReportEveryCarryAndKeepTheWrappedResult) {
    // a, b, whether a * b overflows, a * b modulo 2^64
    const std::tuple<std::uint64_t, std::uint64_t, bool, std::uint64_t> products[] = {
        {0, kMax, false, 0},
        {kMax, 1, false, kMax},
        {k2to32 - 1, k2to32 + 1, false, kMax}, // exactly 2^64 - 1
        {k2to32, k2to32, true, 0},
        {kMax, 2, true, kMax - 1},
        {std::uint64_t{3} << 62, 3, true, std::uint64_t{1} << 62}, // 9 * 2^62 = 2^65 + 2^62
    };
    for (const auto& [a, b, overflows, expected] : products) {
        std::uint64_t product = 7;
        EXPECT_EQ(platform::multiplyOverflows(a, b, product), overflows) << a << " * " << b;
        EXPECT_EQ(product, expected) << a << " * " << b;
    }
    // a, b, whether a + b overflows, a + b modulo 2^64
    const std::tuple<std::uint64_t, std::uint64_t, bool, std::uint64_t> sums[] = {
        {0, kMax, false, kMax},
        {kMax - 5, 5, false, kMax},
        {kMax, 1, true, 0},
        {kMax, kMax, true, kMax - 1},
    };
    for (const auto& [a, b, overflows, expected] : sums) {
        std::uint64_t sum = 7;
        EXPECT_EQ(platform::addOverflows(a, b, sum), overflows) << a << " + " << b;
        EXPECT_EQ(sum, expected) << a << " + " << b;
    }
}

TEST(PlatformTest, BitCountsMatchACountBitByBit) {
    std::mt19937_64 random(7);
    for (unsigned low = 0; low < 64; ++low) {
        for (unsigned high = low; high < 64; ++high) {
            // Lowest set bit `low`, highest `high`, random bits between.
            const std::uint64_t between =
                high > low ? (std::uint64_t{1} << high) - (std::uint64_t{2} << low) : 0;
            const std::uint64_t bits =
                (std::uint64_t{1} << low) | (std::uint64_t{1} << high) | (random() & between);
            EXPECT_EQ(platform::trailingZeros64(bits), low) << bits;
            EXPECT_EQ(platform::leadingZeros64(bits), 63 - high) << bits;
            if (high < 32) {
                EXPECT_EQ(platform::trailingZeros32(static_cast<std::uint32_t>(bits)), low);
                EXPECT_EQ(platform::leadingZeros32(static_cast<std::uint32_t>(bits)), 31 - high);
            }
        }
    }
}

TEST(PlatformTest, MappedBlocksAreAlignedZeroedAndWritable) {
    for (const std::size_t alignment : {std::size_t{64} << 10, 2 * kMiB, 8 * kMiB}) {
        for (const std::size_t bytes : {std::size_t{4096} * 3 + 100, 2 * kMiB, 6 * kMiB}) {
            auto* block =
                static_cast<unsigned char*>(platform::mapZeroedAligned(bytes, alignment));
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignment, 0U);
            platform::adviseHugePages(block, bytes);
            std::size_t nonZero = 0;
            for (std::size_t i = 0; i < bytes; ++i) {
                nonZero += block[i] != 0 ? 1 : 0;
                block[i] = static_cast<unsigned char>(i);
            }
            EXPECT_EQ(nonZero, 0U) << bytes << " bytes aligned to " << alignment;
            EXPECT_EQ(block[bytes - 1], static_cast<unsigned char>(bytes - 1));
            platform::unmapAligned(block, bytes, alignment);
        }
    }
}

TEST(PlatformTest, PhysicalMemoryIsKnownAndPlausible) {
    const std::uint64_t bytes = platform::physicalMemoryBytes();
#if defined(CORRIDEX_PORTABLE_FALLBACKS)
    EXPECT_EQ(bytes, UINT64_MAX) << "the plain fallback knows no memory size";
#else
    EXPECT_NE(bytes, UINT64_MAX) << "this system's memory size is not read";
    EXPECT_GE(bytes, std::uint64_t{64} << 20);
#endif
}

TEST(PlatformTest, MemoryLimitIsTheSmallestKnownOne) {
    const platform::MemoryLimit limit = platform::memoryLimit();
    EXPECT_LE(limit.free(), platform::physicalMemoryBytes());
    EXPECT_LE(limit.inUse, limit.bytes);
    const std::string source = limit.source;
    if (limit.bytes == static_cast<std::uint64_t>(PTRDIFF_MAX)) {
        EXPECT_EQ(source, "the largest object size");
    } else {
        EXPECT_TRUE(source == "physical memory" || source == "RLIMIT_AS" ||
                    source == "RLIMIT_DATA" || source == "cgroup memory.max" ||
                    source == "cgroup memory.limit_in_bytes")
            << source;
    }
}

// A cgroup mount of its own under the test's temporary folder.
class CgroupFiles {
public:
    CgroupFiles() : root_(std::filesystem::path(testing::TempDir()) / "corridex-cgroup") {
        std::filesystem::remove_all(root_);
    }
    ~CgroupFiles() { std::filesystem::remove_all(root_); }

    void write(const std::string& file, const std::string& text) const {
        const std::filesystem::path path = root_ / file;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text << "\n";
    }
    std::string root() const { return root_.string(); }

private:
    std::filesystem::path root_;
};

TEST(PlatformTest, CgroupLimitIsTheSmallestOnTheGroupsPath) {
    struct Case {
        const char* membership;
        std::vector<std::pair<std::string, std::string>> files;
        std::uint64_t bytes;
        std::string source;
    };
    const std::string v2 = "cgroup memory.max";
    const std::string v1 = "cgroup memory.limit_in_bytes";
    const Case cases[] = {
        // v2: an ancestor's limit holds for the groups below it; "max" is none.
        {"0::/a/b\n",
         {{"a/b/memory.max", "max"}, {"a/memory.max", "4294967296"}, {"memory.max", "max"}},
         UINT64_C(4) << 30,
         v2},
        {"0::/a/b\n",
         {{"a/b/memory.max", "1048576"}, {"a/memory.max", "4294967296"}},
         1 << 20,
         v2},
        // A container's own group shows as the root.
        {"0::/\n", {{"memory.max", "536870912"}}, UINT64_C(512) << 20, v2},
        // v1: the memory hierarchy's line, alone or with other controllers; its "unlimited" is a
        // huge number, left to the caller's minimum.
        {"4:memory:/job\n3:cpu:/\n",
         {{"memory/job/memory.limit_in_bytes", "2147483648"},
          {"memory/memory.limit_in_bytes", "9223372036854771712"}},
         UINT64_C(2) << 30,
         v1},
        {"5:cpu,memory:/x\n", {{"memory/memory.limit_in_bytes", "1073741824"}}, 1 << 30, v1},
        // Nothing to read, or nothing that is a number.
        {"0::/a\n", {}, UINT64_MAX, "no known limit"},
        {"0::/a\n", {{"a/memory.max", "lots"}}, UINT64_MAX, "no known limit"},
        {"3:cpu:/\n", {{"memory/memory.limit_in_bytes", "1024"}}, UINT64_MAX, "no known limit"},
        {"", {}, UINT64_MAX, "no known limit"},
    };
    for (const Case& c : cases) {
        const CgroupFiles mount;
        for (const auto& [file, text] : c.files) {
            mount.write(file, text);
        }
        const platform::MemoryLimit limit =
            platform::cgroupMemoryLimit(c.membership, mount.root());
        EXPECT_EQ(limit.bytes, c.bytes) << c.membership;
        EXPECT_EQ(std::string(limit.source), c.source) << c.membership;
    }
}

} // namespace
} // namespace corridex
