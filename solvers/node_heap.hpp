#pragma once

#include "maze/graph_nodes.hpp"
#include "system/large_block_allocator.hpp"
#include "system/platform.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace corridex {

// Where a NodeHeap's keys live. `Key` maps a NodeId to its current unsigned 64-bit key. Both
// stores hold the heap's entries by slot, 0 the top; the heap alone decides what goes where.
namespace heap_keys {

// Only the nodes are held; each comparison reads the key from the node record through `Key`.
// With no copies to keep up to date this is the cheapest while the heap is small and the
// records it reads are in cache.
template <class Key>
class ReadLive {
public:
    explicit ReadLive(Key key) : key_(key) {}

    std::size_t size() const { return nodes_.size(); }
    NodeId node(std::size_t slot) const { return nodes_[slot]; }
    std::uint64_t key(std::size_t slot) const { return key_(nodes_[slot]); }
    std::uint64_t keyOf(NodeId node) const { return key_(node); }

    void append(std::uint64_t, NodeId node) { nodes_.push_back(node); }
    void removeLast() { nodes_.pop_back(); }
    void place(std::size_t slot, std::uint64_t, NodeId node) { nodes_[slot] = node; }
    void move(std::size_t from, std::size_t to) { nodes_[to] = nodes_[from]; }
    void removed(NodeId) {}
    // Nothing to do: keys are read live.
    void lowered(NodeId) {}
    void prefetchBelow(std::size_t, std::size_t) const {}

private:
    LargeVector<NodeId> nodes_;
    Key key_;
};

// A copy of each entry's key is held beside it: comparisons read the heap's own arrays alone,
// not node records spread over the graph, which pays once the heap holds thousands of entries
// (on an open grid, tens of thousands; on a maze it stays under a hundred, the records are in
// cache and tracking slots only costs). Since keys are copies, `lowered(node)` must follow every
// drop of a key of a node in the heap; for that each node's slot is tracked, in an array of one
// entry per node of the graph.
// Keys and nodes are kept in two arrays: a removal's chain of comparisons reads only keys, so
// more levels of them stay in the nearest cache. Entry i sits at place i + 1 of each, so that
// two siblings share an aligned pair of keys, four cousins half a cache line and the eight
// below them a whole one, which a removal loads ahead of the level it is at.
template <class Key>
class KeptInHeap {
public:
    // For nodes numbered below `nodeCount`, starting from the entries of `heap` in their slots.
    template <class Source>
    KeptInHeap(Key key, std::size_t nodeCount, const Source& heap)
        : key_(key), slotOf_(nodeCount, kNoSlot) {
        // Large enough to come from whole pages.
        const std::size_t room = std::max(heap.size() * 2, kLargeBlockEntries);
        keys_.reserve(room);
        nodes_.reserve(room);
        keys_.push_back(0);
        nodes_.push_back(kNoNode);
        for (std::size_t slot = 0; slot < heap.size(); ++slot) {
            const NodeId node = heap.at(slot);
            append(key_(node), node);
            slotOf_[node] = static_cast<std::uint32_t>(slot);
        }
    }

    std::size_t size() const { return nodes_.size() - 1; }
    NodeId node(std::size_t slot) const { return nodes_[slot + 1]; }
    std::uint64_t key(std::size_t slot) const { return keys_[slot + 1]; }
    std::uint64_t keyOf(NodeId node) const { return key_(node); }

    void append(std::uint64_t key, NodeId node) {
        keys_.push_back(key);
        nodes_.push_back(node);
    }
    void removeLast() {
        keys_.pop_back();
        nodes_.pop_back();
    }
    void place(std::size_t slot, std::uint64_t key, NodeId node) {
        keys_[slot + 1] = key;
        nodes_[slot + 1] = node;
        slotOf_[node] = static_cast<std::uint32_t>(slot);
    }
    void move(std::size_t from, std::size_t to) { place(to, keys_[from + 1], nodes_[from + 1]); }
    void removed(NodeId node) { slotOf_[node] = kNoSlot; }

    // Copies the key of `node` into its slot again, if it is in the heap; it does not move.
    void lowered(NodeId node) {
        const std::uint32_t slot = slotOf_[node];
        if (slot < size() && nodes_[slot + 1] == node) {
            keys_[slot + 1] = key_(node);
        }
    }

    // The grandchildren of `slot` and the level below them, whichever child is taken.
    void prefetchBelow(std::size_t slot, std::size_t count) const {
        const std::uint64_t* keys = keys_.data() + 1;
        platform::prefetch(keys + std::min(4 * slot + 3, count));
        platform::prefetch(keys + std::min(8 * slot + 7, count));
    }

private:
    static constexpr std::uint32_t kNoSlot = UINT32_MAX;
    static constexpr std::size_t kLargeBlockEntries =
        detail::kLargeBlockBytes / sizeof(std::uint64_t);

    Key key_;
    LargeVector<std::uint64_t> keys_;
    LargeVector<NodeId> nodes_;
    LargeVector<std::uint32_t> slotOf_;
};

} // namespace heap_keys

// Binary min-heap of node references (there is no decrease-key: a key that drops leaves its node
// where it is until the heap next moves it). Ties follow fixed rules, independent of any
// standard library: a rising node stops under an equal key, and on removal the right child moves
// up unless the left one is strictly smaller. `Keys` says where the keys live (heap_keys above);
// the order is the same for each, so a search may move its entries from one to the other.
// Push and pop cost O(log size).
template <class Key, template <class> class Keys = heap_keys::ReadLive>
class NodeHeap {
public:
    // The key, then what else the key store takes.
    template <class... Rest>
    explicit NodeHeap(Key key, Rest&&... rest) : keys_(key, std::forward<Rest>(rest)...) {}

    bool empty() const { return keys_.size() == 0; }
    std::size_t size() const { return keys_.size(); }
    NodeId top() const { return keys_.node(0); }
    // The entry in `slot`, for another heap to take over.
    NodeId at(std::size_t slot) const { return keys_.node(slot); }

    void push(NodeId node) {
        const std::uint64_t key = keys_.keyOf(node);
        keys_.append(key, node);
        raise(keys_.size() - 1, key, node);
    }

    // To be called after every drop of the key of a node that may be in the heap.
    void lowered(NodeId node) { keys_.lowered(node); }

    // Removes the top entry. Needs a non-empty heap.
    void pop() {
        keys_.removed(top());
        const std::size_t remaining = keys_.size() - 1;
        if (remaining == 0) {
            keys_.removeLast();
            return;
        }
        const std::uint64_t lastKey = keys_.key(remaining);
        const NodeId lastNode = keys_.node(remaining);
        std::size_t hole = 0;
        // Move the hole down to a leaf, always taking the smaller child (the right one on ties).
        while (hole < (remaining - 1) / 2) {
            keys_.prefetchBelow(hole, remaining);
            // Which child is smaller follows no pattern, so it is picked without a branch.
            const std::size_t right = 2 * hole + 2;
            const std::size_t child =
                right - static_cast<std::size_t>(keys_.key(right - 1) < keys_.key(right));
            keys_.move(child, hole);
            hole = child;
        }
        if (remaining % 2 == 0 && hole == (remaining - 1) / 2) {
            keys_.move(remaining - 1, hole);
            hole = remaining - 1;
        }
        raise(hole, lastKey, lastNode);
        keys_.removeLast();
    }

private:
    // Puts `node` in `hole` or above it, moving parents with a greater key down.
    void raise(std::size_t hole, std::uint64_t key, NodeId node) {
        while (hole > 0) {
            const std::size_t parent = (hole - 1) / 2;
            if (!(keys_.key(parent) > key)) {
                break;
            }
            keys_.move(parent, hole);
            hole = parent;
        }
        keys_.place(hole, key, node);
    }

    Keys<Key> keys_;
};

// The heap holding a copy of each entry's key (heap_keys::KeptInHeap).
template <class Key>
using KeyedNodeHeap = NodeHeap<Key, heap_keys::KeptInHeap>;

} // namespace corridex
