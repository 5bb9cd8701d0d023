#pragma once

// Everything that depends on the compiler or the operating system, each with a plain portable
// fallback, so that a new platform is a recompile: builtins, attributes, memory queries and
// mappings. Nothing outside this unit tests for a compiler or an operating system.

#include <cstddef>
#include <cstdint>
#include <string>

// CORRIDEX_PORTABLE_FALLBACKS (the CMake option of that name) makes every choice in this unit
// take its plain fallback, so that an ordinary build compiles and tests what a new platform gets.
#if defined(CORRIDEX_PORTABLE_FALLBACKS)
#define CORRIDEX_GNU_BUILTINS 0
#define CORRIDEX_MSVC_INTRINSICS 0
#elif defined(__GNUC__) || defined(__clang__)
#define CORRIDEX_GNU_BUILTINS 1
#define CORRIDEX_MSVC_INTRINSICS 0
#elif defined(_MSC_VER)
#define CORRIDEX_GNU_BUILTINS 0
#define CORRIDEX_MSVC_INTRINSICS 1
#else
#define CORRIDEX_GNU_BUILTINS 0
#define CORRIDEX_MSVC_INTRINSICS 0
#endif

#if CORRIDEX_MSVC_INTRINSICS
#include <intrin.h>
#endif

// Inlines a function even where the compiler's heuristics would not, for helpers whose call
// would cost more than their body inside a hot loop.
#if CORRIDEX_GNU_BUILTINS
#define CORRIDEX_FORCE_INLINE inline __attribute__((always_inline))
#elif CORRIDEX_MSVC_INTRINSICS
#define CORRIDEX_FORCE_INLINE __forceinline
#else
#define CORRIDEX_FORCE_INLINE inline
#endif

// Builds a plain function once per listed x86-64 target and picks one when the program loads
// (GCC and Clang on x86-64 ELF with glibc, whose loader resolves the choice). Elsewhere it
// expands to nothing and the one build is left to the compiler's own vectoriser.
#if defined(__has_attribute) && CORRIDEX_GNU_BUILTINS
#if __has_attribute(target_clones) && defined(__x86_64__) && defined(__ELF__) &&                  \
    defined(__GLIBC__) && !defined(__APPLE__)
#define CORRIDEX_TARGET_CLONES(...) __attribute__((target_clones(__VA_ARGS__)))
#endif
#endif
#if !defined(CORRIDEX_TARGET_CLONES)
#define CORRIDEX_TARGET_CLONES(...)
#endif

// The widest clone target: the x86-64-v4 level (AVX-512F, BW, CD, DQ, VL) where the compiler
// knows it (GCC 11 on, Clang), AVX-512F alone for GCC 10.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ < 11
#define CORRIDEX_CLONE_AVX512 "avx512f"
#else
#define CORRIDEX_CLONE_AVX512 "arch=x86-64-v4"
#endif

namespace corridex::platform {

// True when a * b does not fit in 64 bits; `product` is a * b modulo 2^64 either way.
inline bool multiplyOverflows(std::uint64_t a, std::uint64_t b, std::uint64_t& product) {
#if CORRIDEX_GNU_BUILTINS
    return __builtin_mul_overflow(a, b, &product);
#else
    product = a * b;
    return a != 0 && product / a != b;
#endif
}

// True when a + b does not fit in 64 bits; `sum` is a + b modulo 2^64 either way.
inline bool addOverflows(std::uint64_t a, std::uint64_t b, std::uint64_t& sum) {
#if CORRIDEX_GNU_BUILTINS
    return __builtin_add_overflow(a, b, &sum);
#else
    sum = a + b;
    return sum < a;
#endif
}

// The number of zero bits below the lowest set bit, and above the highest one. `bits` must not
// be 0 (the processor instructions behind them leave that case undefined).
CORRIDEX_FORCE_INLINE unsigned trailingZeros32(std::uint32_t bits) {
#if CORRIDEX_GNU_BUILTINS
    return static_cast<unsigned>(__builtin_ctz(bits));
#elif CORRIDEX_MSVC_INTRINSICS
    unsigned long index = 0;
    _BitScanForward(&index, bits);
    return static_cast<unsigned>(index);
#else
    unsigned count = 0;
    for (; (bits & 1U) == 0; bits >>= 1) {
        ++count;
    }
    return count;
#endif
}

CORRIDEX_FORCE_INLINE unsigned trailingZeros64(std::uint64_t bits) {
#if CORRIDEX_GNU_BUILTINS
    return static_cast<unsigned>(__builtin_ctzll(bits));
#elif CORRIDEX_MSVC_INTRINSICS && (defined(_M_X64) || defined(_M_ARM64))
    unsigned long index = 0;
    _BitScanForward64(&index, bits);
    return static_cast<unsigned>(index);
#else
    const auto low = static_cast<std::uint32_t>(bits);
    return low != 0 ? trailingZeros32(low)
                    : 32 + trailingZeros32(static_cast<std::uint32_t>(bits >> 32));
#endif
}

CORRIDEX_FORCE_INLINE unsigned leadingZeros32(std::uint32_t bits) {
#if CORRIDEX_GNU_BUILTINS
    return static_cast<unsigned>(__builtin_clz(bits));
#elif CORRIDEX_MSVC_INTRINSICS
    unsigned long index = 0;
    _BitScanReverse(&index, bits);
    return 31 - static_cast<unsigned>(index);
#else
    unsigned count = 0;
    for (; (bits & 0x80000000U) == 0; bits <<= 1) {
        ++count;
    }
    return count;
#endif
}

CORRIDEX_FORCE_INLINE unsigned leadingZeros64(std::uint64_t bits) {
#if CORRIDEX_GNU_BUILTINS
    return static_cast<unsigned>(__builtin_clzll(bits));
#elif CORRIDEX_MSVC_INTRINSICS && (defined(_M_X64) || defined(_M_ARM64))
    unsigned long index = 0;
    _BitScanReverse64(&index, bits);
    return 63 - static_cast<unsigned>(index);
#else
    const auto high = static_cast<std::uint32_t>(bits >> 32);
    return high != 0 ? leadingZeros32(high)
                     : 32 + leadingZeros32(static_cast<std::uint32_t>(bits));
#endif
}

// Starts loading the cache line holding `address` for a read soon after; a hint only, which
// changes nothing observable and is dropped where the compiler has no way to give it.
CORRIDEX_FORCE_INLINE void prefetch(const void* address) {
#if CORRIDEX_GNU_BUILTINS
    __builtin_prefetch(address);
#elif CORRIDEX_MSVC_INTRINSICS && (defined(_M_X64) || defined(_M_IX86))
    _mm_prefetch(static_cast<const char*>(address), _MM_HINT_T0);
#else
    (void)address;
#endif
}

// The machine's physical memory in bytes, or UINT64_MAX when the system does not say.
std::uint64_t physicalMemoryBytes();

// The most memory this process can expect to get, what sets it, and how much of it the process
// holds already.
struct MemoryLimit {
    std::uint64_t bytes;
    const char* source; // "physical memory", "RLIMIT_AS", "cgroup memory.max", ...
    std::uint64_t inUse = 0;
    // What is left to allocate under the limit.
    std::uint64_t free() const { return inUse < bytes ? bytes - inUse : 0; }
};

// Of physical memory, the address-space and data-segment limits (RLIMIT_AS, RLIMIT_DATA) and
// the control group's memory limit (v2 memory.max of the process's group and its ancestors, or
// v1 memory.limit_in_bytes), each where the system has it, the one that leaves the least free;
// when the system has none of them, the largest object size (PTRDIFF_MAX). The resource limits
// count what the process holds under them already (on Linux: its mapped address space, and its
// data mappings, from /proc/self), read only when such a limit is set; physical memory and the
// control group's limit are taken whole, as other processes and the page cache share them.
MemoryLimit memoryLimit();

// The control-group memory limit that `membership` (the text of /proc/self/cgroup) names, read
// from the limit files under `root` (where the cgroup file systems are mounted). Plain file
// reading: on a system without such files it finds no limit.
MemoryLimit cgroupMemoryLimit(const std::string& membership, const std::string& root);

// The size of the pages the operating system maps memory in (4096 where it does not say).
std::size_t pageSize() noexcept;

// `bytes` of zeroed memory aligned to `alignment` (a power of two, at least the page size),
// straight from the operating system where it can map memory; throws std::bad_alloc when there
// is none. Given back with unmapAligned and the same `bytes` and `alignment`.
void* mapZeroedAligned(std::size_t bytes, std::size_t alignment);
void unmapAligned(void* block, std::size_t bytes, std::size_t alignment) noexcept;

// Asks for transparent huge pages behind a mapped block (Linux); elsewhere does nothing.
void adviseHugePages(void* block, std::size_t bytes) noexcept;

} // namespace corridex::platform
