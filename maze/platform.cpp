#include "maze/platform.hpp"

#include <cstring>
#include <new>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#elif defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <sys/sysctl.h>
#endif
#endif

namespace corridex::platform {

std::uint64_t physicalMemoryBytes() {
#if defined(_WIN32)
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (GlobalMemoryStatusEx(&status) == 0) {
        return UINT64_MAX;
    }
    return status.ullTotalPhys;
#elif defined(__APPLE__)
    std::uint64_t bytes = 0;
    std::size_t length = sizeof(bytes);
    if (sysctlbyname("hw.memsize", &bytes, &length, nullptr, 0) != 0 || bytes == 0) {
        return UINT64_MAX;
    }
    return bytes;
#elif defined(_SC_PHYS_PAGES) && defined(_SC_PAGE_SIZE)
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    std::uint64_t bytes = 0;
    if (pages <= 0 || pageSize <= 0 ||
        multiplyOverflows(static_cast<std::uint64_t>(pages), static_cast<std::uint64_t>(pageSize),
                          bytes)) {
        return UINT64_MAX;
    }
    return bytes;
#else
    return UINT64_MAX;
#endif
}

std::size_t pageSize() noexcept {
    static const std::size_t size = [] {
        constexpr std::size_t kFallback = 4096;
#if defined(_WIN32)
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        const std::size_t reported = info.dwPageSize;
#elif defined(_SC_PAGESIZE)
        const long value = sysconf(_SC_PAGESIZE);
        const std::size_t reported = value > 0 ? static_cast<std::size_t>(value) : 0;
#else
        const std::size_t reported = 0;
#endif
        // A power of two, or the usual size.
        return reported != 0 && (reported & (reported - 1)) == 0 ? reported : kFallback;
    }();
    return size;
}

#if defined(_WIN32)
// Reserves one alignment more than needed and commits the aligned window inside it: Windows
// releases a reservation only whole, so the ends cannot be trimmed as on POSIX. The unused ends
// cost address space only. Committed pages read as zero.
void* mapZeroedAligned(std::size_t bytes, std::size_t alignment) {
    if (bytes > SIZE_MAX - alignment) {
        throw std::bad_alloc();
    }
    void* reserved = VirtualAlloc(nullptr, bytes + alignment, MEM_RESERVE, PAGE_NOACCESS);
    if (reserved == nullptr) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(reserved);
    const std::uintptr_t aligned = (start + alignment - 1) & ~(std::uintptr_t{alignment} - 1);
    void* block = VirtualAlloc(static_cast<char*>(reserved) + (aligned - start), bytes, MEM_COMMIT,
                               PAGE_READWRITE);
    if (block == nullptr) {
        VirtualFree(reserved, 0, MEM_RELEASE);
        throw std::bad_alloc();
    }
    return block;
}

void unmapAligned(void* block, std::size_t, std::size_t) noexcept {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(block, &region, sizeof(region)) != 0) {
        VirtualFree(region.AllocationBase, 0, MEM_RELEASE);
    }
}
#elif defined(MAP_ANONYMOUS) || defined(MAP_ANON)
#if !defined(MAP_ANONYMOUS)
#define MAP_ANONYMOUS MAP_ANON
#endif
// Maps one alignment more than needed, then trims the ends so the block starts on a boundary.
// Fresh anonymous pages read as zero.
void* mapZeroedAligned(std::size_t bytes, std::size_t alignment) {
    if (bytes > SIZE_MAX - alignment) {
        throw std::bad_alloc();
    }
    const std::size_t mapped = bytes + alignment;
    void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + alignment - 1) & ~(std::uintptr_t{alignment} - 1);
    if (aligned > start) {
        munmap(raw, aligned - start);
    }
    // The tail is cut at a page boundary: munmap takes whole pages only.
    const std::uintptr_t page = pageSize();
    const std::uintptr_t tail = (aligned + bytes + page - 1) & ~(page - 1);
    if (start + mapped > tail) {
        munmap(static_cast<char*>(raw) + (tail - start), start + mapped - tail);
    }
    return static_cast<char*>(raw) + (aligned - start);
}

void unmapAligned(void* block, std::size_t bytes, std::size_t) noexcept {
    munmap(block, bytes);
}
#else
void* mapZeroedAligned(std::size_t bytes, std::size_t alignment) {
    void* block = ::operator new (bytes, std::align_val_t{alignment});
    std::memset(block, 0, bytes);
    return block;
}

void unmapAligned(void* block, std::size_t, std::size_t alignment) noexcept {
    ::operator delete (block, std::align_val_t{alignment});
}
#endif

void adviseHugePages(void* block, std::size_t bytes) noexcept {
#if defined(MADV_HUGEPAGE)
    madvise(block, bytes, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

} // namespace corridex::platform
