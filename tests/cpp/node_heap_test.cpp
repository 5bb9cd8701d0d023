#include "solvers/node_heap.hpp"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace corridex {
namespace {

struct Keyed {
    std::uint64_t key;
};

auto byKey = [](const Keyed* node) { return node->key; };
using Heap = NodeHeap<Keyed, decltype(byKey)>;

std::vector<const Keyed*> drain(Heap& heap) {
    std::vector<const Keyed*> order;
    while (!heap.empty()) {
        order.push_back(heap.top());
        heap.pop();
    }
    return order;
}

TEST(NodeHeapTest, EqualKeysComeOutInTheFixedTieOrder) {
    std::vector<Keyed> nodes(5, Keyed{7});
    Heap heap(byKey);
    for (Keyed& node : nodes) {
        heap.push(&node);
    }
    // Insert never lifts a node above an equal key; removal moves the right child up on ties.
    const std::vector<const Keyed*> expected = {&nodes[0], &nodes[2], &nodes[4], &nodes[1],
                                                &nodes[3]};
    EXPECT_EQ(drain(heap), expected);
}

TEST(NodeHeapTest, KeysAreReadLiveAndADroppedKeyIsNotResifted) {
    std::vector<Keyed> nodes = {{1}, {5}, {6}};
    Heap heap(byKey);
    for (Keyed& node : nodes) {
        heap.push(&node);
    }
    nodes[2].key = 0; // stays in its slot: the heap has no decrease-key
    EXPECT_EQ(heap.top(), &nodes[0]);
    heap.pop();
    EXPECT_EQ(heap.top(), &nodes[2]) << "the next removal compares the live keys";
}

#if defined(__GLIBCXX__)
// libstdc++'s array heap follows the same sift rules, so it serves as an oracle here even
// though the solvers must not depend on any one standard library.
TEST(NodeHeapTest, MatchesTheReferenceHeapOnRandomInterleavings) {
    std::mt19937 random(12345);
    for (int round = 0; round < 200; ++round) {
        std::vector<Keyed> nodes(64);
        for (Keyed& node : nodes) {
            node.key = random() % 6;
        }
        Heap heap(byKey);
        std::vector<Keyed*> reference;
        auto greater = [](const Keyed* a, const Keyed* b) { return a->key > b->key; };
        std::size_t next = 0;
        while (next < nodes.size() || !reference.empty()) {
            if (next < nodes.size() && (reference.empty() || random() % 3 != 0)) {
                heap.push(&nodes[next]);
                reference.push_back(&nodes[next]);
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
