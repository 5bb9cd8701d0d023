#include "solvers/pending_nodes.hpp"

#include <gtest/gtest.h>
#include <random>
#include <set>

namespace corridex {
namespace {

TEST(PendingNodesTest, NextFindsMembersInOrderAcrossWordsAndSummaryGroups) {
    for (const std::size_t size : {1UL, 63UL, 64UL, 65UL, 4095UL, 4097UL, 20000UL}) {
        std::mt19937 random(static_cast<unsigned>(size));
        PendingNodes pending(size);
        std::set<std::size_t> reference;
        for (int step = 0; step < 3000; ++step) {
            const std::size_t node = random() % size;
            if (random() % 3 == 0) {
                pending.erase(node);
                reference.erase(node);
            } else {
                pending.insert(node);
                reference.insert(node);
            }
            const std::size_t from = random() % (size + 70);
            const auto expected = reference.lower_bound(from);
            ASSERT_EQ(pending.next(from),
                      expected == reference.end() ? PendingNodes::npos : *expected)
                << "size " << size << " from " << from;
        }
    }
}

} // namespace
} // namespace corridex
