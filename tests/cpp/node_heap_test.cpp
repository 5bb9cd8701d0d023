#include "solvers/node_heap.hpp"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace corridex {
namespace {

// Keys live outside the heap, read through the node's id at each comparison.
std::vector<std::uint64_t> keys;
auto byKey = [](NodeId node) { return keys[node]; };
using Heap = NodeHeap<decltype(byKey)>;

std::vector<NodeId> drain(Heap& heap) {
    std::vector<NodeId> order;
    while (!heap.empty()) {
        order.push_back(heap.top());
        heap.pop();
    }
    return order;
}

TEST(NodeHeapTest, EqualKeysComeOutInTheFixedTieOrder) {
    keys.assign(5, 7);
    Heap heap(byKey);
    for (NodeId node = 0; node < 5; ++node) {
        heap.push(node);
    }
    // Insert never lifts a node above an equal key; removal moves the right child up on ties.
    EXPECT_EQ(drain(heap), (std::vector<NodeId>{0, 2, 4, 1, 3}));
}

TEST(NodeHeapTest, KeysAreReadLiveAndADroppedKeyIsNotResifted) {
    keys = {1, 5, 6};
    Heap heap(byKey);
    for (NodeId node = 0; node < 3; ++node) {
        heap.push(node);
    }
    keys[2] = 0; // stays in its slot: the heap has no decrease-key
    EXPECT_EQ(heap.top(), 0U);
    heap.pop();
    EXPECT_EQ(heap.top(), 2U) << "the next removal compares the live keys";
}

#if defined(__GLIBCXX__)
// libstdc++'s array heap follows the same sift rules, so it serves as an oracle here even
// though the solvers must not depend on any one standard library.
TEST(NodeHeapTest, MatchesTheReferenceHeapOnRandomInterleavings) {
    std::mt19937 random(12345);
    for (int round = 0; round < 200; ++round) {
        keys.resize(64);
        for (std::uint64_t& key : keys) {
            key = random() % 6;
        }
        Heap heap(byKey);
        std::vector<NodeId> reference;
        auto greater = [](NodeId a, NodeId b) { return keys[a] > keys[b]; };
        NodeId next = 0;
        while (next < keys.size() || !reference.empty()) {
            if (next < keys.size() && (reference.empty() || random() % 3 != 0)) {
                heap.push(next);
                reference.push_back(next);
                std::push_heap(reference.begin(), reference.end(), greater);
                ++next;
            } else {
                ASSERT_EQ(heap.top(), reference.front());
                heap.pop();
                std::pop_heap(reference.begin(), reference.end(), greater);
                reference.pop_back();
            }
            ASSERT_EQ(heap.size(), reference.size());
        }
    }
}
#endif

} // namespace
} // namespace corridex
