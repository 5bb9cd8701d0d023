#include "maze/index_pool.hpp"

#include "maze/large_block_allocator.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

namespace corridex::detail {

namespace {

constexpr std::size_t kSlabBytes = std::size_t{64} << 10;
// The first cell's place holds the slab's header.
constexpr std::size_t kCellsPerSlab = kSlabBytes / kIndexCellBytes - 1;

// A slab's owner holds kOwnerShare references until it stops carving, then gives back all but
// one per cell it carved; each released cell gives back one. So the count reaches zero exactly
// when the owner is done and every carved cell has been released, and carving needs no atomic
// operation.
constexpr std::uint32_t kOwnerShare = 1U << 30;
static_assert(kCellsPerSlab < kOwnerShare);

struct alignas(kIndexCellBytes) SlabHeader {
    std::atomic<std::uint32_t> references{kOwnerShare};
};
static_assert(sizeof(SlabHeader) <= kIndexCellBytes);

std::atomic<std::size_t> slabsInUse{0};

// Empty slabs kept for reuse, so that making and dropping results one after another does not map,
// fault in and unmap the same memory each time. At most kCachedSlabs (4 MiB) are held. Never
// destroyed: cells can be released while the program exits.
struct SlabCache {
    static constexpr std::size_t kCachedSlabs = 64;
    std::mutex lock;
    std::vector<void*> slabs;
    SlabCache() { slabs.reserve(kCachedSlabs); }
};

SlabCache& slabCache() {
    static auto* const cache = new SlabCache;
    return *cache;
}

void* takeSlab() {
    SlabCache& cache = slabCache();
    ++slabsInUse;
    {
        const std::lock_guard<std::mutex> guard(cache.lock);
        if (!cache.slabs.empty()) {
            void* slab = cache.slabs.back();
            cache.slabs.pop_back();
            return slab;
        }
    }
    try {
        // Aligned to its size, so that a cell finds its slab's header by masking its address.
        return mapAligned(kSlabBytes, kSlabBytes);
    } catch (...) {
        --slabsInUse;
        throw;
    }
}

void giveBackSlab(void* slab) noexcept {
    SlabCache& cache = slabCache();
    --slabsInUse;
    {
        const std::lock_guard<std::mutex> guard(cache.lock);
        if (cache.slabs.size() < SlabCache::kCachedSlabs) {
            cache.slabs.push_back(slab); // within the reserved capacity: cannot throw
            return;
        }
    }
    unmapAligned(slab, kSlabBytes, kSlabBytes);
}

void dropReferences(SlabHeader* header, std::uint32_t count) noexcept {
    if (header->references.fetch_sub(count, std::memory_order_acq_rel) == count) {
        header->~SlabHeader();
        giveBackSlab(header);
    }
}

// The slab a thread is carving, if any; handed back when the thread ends.
class CarvingSlab {
public:
    CarvingSlab() = default;
    CarvingSlab(const CarvingSlab&) = delete;
    CarvingSlab& operator=(const CarvingSlab&) = delete;
    ~CarvingSlab() { retire(); }

    void* carve() {
        if (carved_ == kCellsPerSlab || header_ == nullptr) {
            retire();
            header_ = new (takeSlab()) SlabHeader;
            carved_ = 0;
        }
        ++carved_;
        return reinterpret_cast<unsigned char*>(header_) + carved_ * kIndexCellBytes;
    }

private:
    void retire() noexcept {
        if (header_ != nullptr) {
            dropReferences(header_, kOwnerShare - static_cast<std::uint32_t>(carved_));
            header_ = nullptr;
        }
    }

    SlabHeader* header_ = nullptr;
    std::size_t carved_ = 0;
};

thread_local CarvingSlab carvingSlab;

} // namespace

void* allocateIndexCell() {
    return carvingSlab.carve();
}

std::size_t indexSlabsInUse() {
    return slabsInUse.load();
}

void releaseIndexCell(void* cell) noexcept {
    const auto address = reinterpret_cast<std::uintptr_t>(cell);
    dropReferences(
        reinterpret_cast<SlabHeader*>(static_cast<char*>(cell) - (address & (kSlabBytes - 1))), 1);
}

} // namespace corridex::detail
