#include "system/platform.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <fstream>
#include <limits>
#include <new>
#include <sstream>
#include <string>

// Which operating system's calls are used; none under CORRIDEX_PORTABLE_FALLBACKS.
#if defined(CORRIDEX_PORTABLE_FALLBACKS)
#define CORRIDEX_WINDOWS 0
#define CORRIDEX_POSIX 0
#elif defined(_WIN32)
#define CORRIDEX_WINDOWS 1
#define CORRIDEX_POSIX 0
#elif defined(__unix__) || defined(__APPLE__)
#define CORRIDEX_WINDOWS 0
#define CORRIDEX_POSIX 1
#else
#define CORRIDEX_WINDOWS 0
#define CORRIDEX_POSIX 0
#endif

#if CORRIDEX_WINDOWS
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#elif CORRIDEX_POSIX
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <sys/sysctl.h>
#endif
#endif

namespace corridex::platform {

std::uint64_t physicalMemoryBytes() {
#if CORRIDEX_WINDOWS
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (GlobalMemoryStatusEx(&status) == 0) {
        return UINT64_MAX;
    }
    return status.ullTotalPhys;
#elif CORRIDEX_POSIX && defined(__APPLE__)
    std::uint64_t bytes = 0;
    std::size_t length = sizeof(bytes);
    if (sysctlbyname("hw.memsize", &bytes, &length, nullptr, 0) != 0 || bytes == 0) {
        return UINT64_MAX;
    }
    return bytes;
#elif CORRIDEX_POSIX && defined(_SC_PHYS_PAGES) && defined(_SC_PAGE_SIZE)
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

namespace {

void lowerTo(MemoryLimit& limit, std::uint64_t bytes, const char* source,
             std::uint64_t inUse = 0) {
    const MemoryLimit candidate{bytes, source, inUse};
    if (candidate.free() < limit.free()) {
        limit = candidate;
    }
}

#if CORRIDEX_POSIX
// What the process holds under a resource limit: its mapped address space for RLIMIT_AS, its
// private writable mappings for RLIMIT_DATA, as Linux counts them; 0 where the system does not
// say.
std::uint64_t heldUnder(decltype(RLIMIT_AS) resource) {
#if defined(__linux__)
    std::ifstream status("/proc/self/status");
    const std::string field = resource == RLIMIT_AS ? "VmSize:" : "VmData:";
    std::string name;
    while (status >> name) {
        if (name == field) {
            std::uint64_t kib = 0;
            return status >> kib ? kib * 1024 : 0;
        }
        status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
#else
    (void)resource;
#endif
    return 0;
}

// glibc types the resource as an enum of its own, so it is taken as whatever RLIMIT_AS is.
void lowerToRlimit(MemoryLimit& limit, decltype(RLIMIT_AS) resource, const char* source) {
    rlimit value{};
    if (getrlimit(resource, &value) == 0 && value.rlim_cur != RLIM_INFINITY) {
        lowerTo(limit, static_cast<std::uint64_t>(value.rlim_cur), source, heldUnder(resource));
    }
}
#endif

// The number a cgroup limit file holds; UINT64_MAX for "max", or when it cannot be read.
std::uint64_t readLimitFile(const std::string& path) {
    std::ifstream file(path);
    std::string text;
    if (!(file >> text) || text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return UINT64_MAX;
    }
    try {
        return std::stoull(text);
    } catch (const std::exception&) { // beyond 64 bits: no limit worth the name
        return UINT64_MAX;
    }
}

} // namespace

// Each line of `membership` is "0::/path" for v2, or "N:controllers:/path" for a v1 hierarchy.
// A container usually sees its own group as the root of the mount, so the top of the mount is
// read as well as the named group.
MemoryLimit cgroupMemoryLimit(const std::string& membership, const std::string& root) {
    MemoryLimit limit{UINT64_MAX, "no known limit"};
    std::istringstream lines(membership);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) {
            continue;
        }
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string group = line.substr(second + 1);
        if (controllers.empty()) {
            // v2: the limits of the group and of every group above it hold.
            std::string path = group;
            while (true) {
                lowerTo(limit, readLimitFile(root + path + "/memory.max"), "cgroup memory.max");
                const std::size_t slash = path.rfind('/');
                if (path.empty() || slash == std::string::npos) {
                    break;
                }
                path.resize(slash);
            }
        } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
            const char* source = "cgroup memory.limit_in_bytes";
            const std::string groupLimit =
                std::string(root).append("/memory").append(group).append("/memory.limit_in_bytes");
            lowerTo(limit, readLimitFile(groupLimit), source);
            lowerTo(limit, readLimitFile(root + "/memory/memory.limit_in_bytes"), source);
        }
    }
    return limit;
}

MemoryLimit memoryLimit() {
    // No allocation can be larger than the largest object size, whatever else is unknown.
    MemoryLimit limit{static_cast<std::uint64_t>(PTRDIFF_MAX), "the largest object size"};
    lowerTo(limit, physicalMemoryBytes(), "physical memory");
#if CORRIDEX_POSIX
    lowerToRlimit(limit, RLIMIT_AS, "RLIMIT_AS");
#if defined(RLIMIT_DATA)
    lowerToRlimit(limit, RLIMIT_DATA, "RLIMIT_DATA");
#endif
#endif
#if CORRIDEX_POSIX && defined(__linux__)
    // Read once: the files take a few system calls, and a process does not change group.
    static const MemoryLimit cgroup = [] {
        std::ifstream file("/proc/self/cgroup");
        std::ostringstream membership;
        membership << file.rdbuf();
        return cgroupMemoryLimit(membership.str(), "/sys/fs/cgroup");
    }();
    lowerTo(limit, cgroup.bytes, cgroup.source);
#endif
    return limit;
}

std::size_t pageSize() noexcept {
    static const std::size_t size = [] {
        constexpr std::size_t kFallback = 4096;
#if CORRIDEX_WINDOWS
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        const std::size_t reported = info.dwPageSize;
#elif CORRIDEX_POSIX && defined(_SC_PAGESIZE)
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

#if CORRIDEX_WINDOWS
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
#elif CORRIDEX_POSIX && (defined(MAP_ANONYMOUS) || defined(MAP_ANON))
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
#if CORRIDEX_POSIX && defined(MADV_HUGEPAGE)
    madvise(block, bytes, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

} // namespace corridex::platform
