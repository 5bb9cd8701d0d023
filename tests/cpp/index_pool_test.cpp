#include "maze/index.hpp"
#include "maze/index_pool.hpp"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace corridex {
namespace {

using detail::allocateIndexCell;
using detail::indexSlabsInUse;
using detail::releaseIndexCell;

// Cells made on a thread that then ends, each holding its own number.
std::vector<Index*> cellsFromEndedThread(std::size_t count) {
    std::vector<Index*> cells;
    std::thread([&] {
        for (std::size_t i = 0; i < count; ++i) {
            cells.push_back(::new (allocateIndexCell()) Index{i, ~i});
        }
    }).join();
    return cells;
}

TEST(IndexPoolTest, CellsAreDistinctAlignedAndKeepTheirValues) {
    const std::vector<Index*> cells = cellsFromEndedThread(10000); // several slabs
    std::set<Index*> distinct(cells.begin(), cells.end());
    EXPECT_EQ(distinct.size(), cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(cells[i]) % alignof(Index), 0U);
        ASSERT_EQ(*cells[i], (Index{i, ~i}));
    }
    for (Index* cell : cells) {
        releaseIndexCell(cell);
    }
}

TEST(IndexPoolTest, SlabsGoBackOnceTheirThreadEndedAndTheirCellsAreReleased) {
    const std::size_t before = indexSlabsInUse();
    std::vector<Index*> cells = cellsFromEndedThread(10000);
    EXPECT_GE(indexSlabsInUse(), before + 2);
    // Released in another order and on another thread than they were made.
    for (std::size_t i = 0; i < cells.size(); i += 2) {
        releaseIndexCell(cells[i]);
    }
    EXPECT_GT(indexSlabsInUse(), before) << "slabs with live cells stay";
    for (std::size_t i = 1; i < cells.size(); i += 2) {
        releaseIndexCell(cells[i]);
    }
    EXPECT_EQ(indexSlabsInUse(), before);

    // Cells released before their thread ends: the thread's last slab goes when it ends.
    std::thread([] {
        for (int round = 0; round < 3; ++round) {
            std::vector<void*> cells(5000);
            for (void*& cell : cells) {
                cell = allocateIndexCell();
            }
            for (void* cell : cells) {
                releaseIndexCell(cell);
            }
        }
    }).join();
    EXPECT_EQ(indexSlabsInUse(), before);
}

TEST(IndexPoolTest, ThreadsMakeAndReleaseEachOthersCells) {
    const std::size_t before = indexSlabsInUse();
    constexpr std::size_t kThreads = 4;
    constexpr std::size_t kCells = 20000;
    std::vector<std::vector<void*>> made(kThreads);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&made, t] {
            for (std::size_t i = 0; i < kCells; ++i) {
                made[t].push_back(allocateIndexCell());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    threads.clear();
    for (std::size_t t = 0; t < kThreads; ++t) {
        // Each thread releases the cells of the next one while making more of its own.
        threads.emplace_back([&made, t] {
            std::vector<void*> own;
            for (void* cell : made[(t + 1) % kThreads]) {
                releaseIndexCell(cell);
                own.push_back(allocateIndexCell());
            }
            for (void* cell : own) {
                releaseIndexCell(cell);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(indexSlabsInUse(), before);
}

TEST(IndexPoolTest, NewAndDeleteOfAnIndexGoThroughThePool) {
    auto index = std::make_unique<Index>(Index{7, 9});
    EXPECT_EQ(*index, (Index{7, 9}));
    index.reset();
    std::vector<std::unique_ptr<Index>> many;
    for (std::uint64_t i = 0; i < 5000; ++i) {
        many.push_back(std::make_unique<Index>(Index{i, i}));
    }
    for (std::uint64_t i = 0; i < many.size(); ++i) {
        ASSERT_EQ(many[i]->row, i);
    }
}

} // namespace
} // namespace corridex
