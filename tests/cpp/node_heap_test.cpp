#include "solvers/node_heap.hpp"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

namespace corridex {
namespace {

// Keys live outside the heap, read through the node's id.
std::vector<std::uint64_t> keys;
auto byKey = [](NodeId node) { return keys[node]; };
using Heap = NodeHeap<decltype(byKey)>;
using KeyedHeap = KeyedNodeHeap<decltype(byKey)>;

// An empty heap of either key store, for nodes numbered below `count`.
template <class H>
H emptyHeap(NodeId count) {
    if constexpr (std::is_same_v<H, KeyedHeap>) {
        return KeyedHeap(byKey, count, Heap(byKey));
    } else {
        return Heap(byKey);
    }
}

template <class H>
std::vector<NodeId> drain(H& heap) {
    std::vector<NodeId> order;
    while (!heap.empty()) {
        order.push_back(heap.top());
        heap.pop();
    }
    return order;
}

// The tie rules, for each place the keys can live.
template <class H>
class NodeHeapRulesTest : public ::testing::Test {};
using KeyStores = ::testing::Types<Heap, KeyedHeap>;
struct KeyStoreNames {
    template <class H>
    static std::string GetName(int) {
        return std::is_same_v<H, KeyedHeap> ? "KeptInHeap" : "ReadLive";
    }
};
TYPED_TEST_SUITE(NodeHeapRulesTest, KeyStores, KeyStoreNames);

TYPED_TEST(NodeHeapRulesTest, EqualKeysComeOutInTheFixedTieOrder) {
    keys.assign(5, 7);
    auto heap = emptyHeap<TypeParam>(5);
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

TEST(NodeHeapTest, KeyedHeapCopiesALoweredKeyIntoItsSlotWithoutResifting) {
    keys = {1, 5, 6};
    auto heap = emptyHeap<KeyedHeap>(3);
    for (NodeId node = 0; node < 3; ++node) {
        heap.push(node);
    }
    keys[2] = 0;
    heap.lowered(2);
    EXPECT_EQ(heap.top(), 0U);
    heap.pop();
    EXPECT_EQ(heap.top(), 2U) << "the next removal compares the copied key";
}

// Pushes, pops and key drops at random, on ties aplenty; the keyed heap takes over from the plain
// one at a random point and must give the same tops from then on.
TEST(NodeHeapTest, KeyedHeapKeepsThePlainHeapsOrderThroughKeyDrops) {
    std::mt19937 random(2024);
    for (int round = 0; round < 300; ++round) {
        const auto count = static_cast<NodeId>(1 + random() % 400);
        keys.resize(count);
        for (std::uint64_t& key : keys) {
            key = 100 + random() % 8;
        }
        Heap plain(byKey);
        Heap start(byKey);
        const std::size_t takeOver = random() % count;
        NodeId next = 0;
        std::size_t steps = 0;
        auto step = [&](auto& heap, auto&& more) {
            for (; next < count || !heap.empty(); ++steps) {
                if (!more()) {
                    return;
                }
                const unsigned choice = random() % 4;
                if (next < count && (heap.empty() || choice < 2)) {
                    plain.push(next);
                    heap.push(next++);
                } else if (choice == 2 && next > 0) {
                    // In the heap or not, as the searches do.
                    const auto node = static_cast<NodeId>(random() % next);
                    keys[node] -= 1 + random() % 3;
                    plain.lowered(node);
                    heap.lowered(node);
                } else if (!heap.empty()) {
                    ASSERT_EQ(heap.top(), plain.top());
                    plain.pop();
                    heap.pop();
                }
                ASSERT_EQ(heap.size(), plain.size());
            }
        };
        // `start` mirrors `plain` until the take-over; the keyed heap carries on from its slots.
        step(start, [&] { return steps < takeOver; });
        KeyedHeap keyed(byKey, count, start);
        step(keyed, [] { return true; });
        EXPECT_TRUE(plain.empty());
    }
}

#if defined(__GLIBCXX__)
// libstdc++'s array heap follows the same sift rules, so it serves as an oracle here even
// though the solvers must not depend on any one standard library.
TYPED_TEST(NodeHeapRulesTest, MatchesTheReferenceHeapOnRandomInterleavings) {
    std::mt19937 random(12345);
    for (int round = 0; round < 200; ++round) {
        keys.resize(64);
        for (std::uint64_t& key : keys) {
            key = random() % 6;
        }
        auto heap = emptyHeap<TypeParam>(64);
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
