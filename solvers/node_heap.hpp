#pragma once

#include "maze/graph_nodes.hpp"
#include "system/large_block_allocator.hpp"
#include "system/platform.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corridex {

// Binary min-heap of node references keyed on a node field read at every comparison (there is
// no decrease-key: a key that drops leaves its node where it is until the heap next moves it).
// Ties follow fixed rules, independent of any standard library: a rising node stops under an
// equal key, and on removal the right child moves up unless the left one is strictly smaller.
// `Key` maps a NodeId to its current unsigned 64-bit key. Push and pop cost O(log size).
template <class Key>
class NodeHeap {
public:
    explicit NodeHeap(Key key) : key_(key) {}

    bool empty() const { return slots_.empty(); }
    std::size_t size() const { return slots_.size(); }
    NodeId top() const { return slots_.front(); }

    void push(NodeId node) {
        slots_.push_back(node);
        raise(slots_.size() - 1, node);
    }

    // Nothing to do: keys are read live.
    void lowered(NodeId) const {}

    // The entries in their slots, for a KeyedNodeHeap to take over.
    const LargeVector<NodeId>& slots() const { return slots_; }

    // Removes the top entry. Needs a non-empty heap.
    void pop() {
        if (slots_.size() == 1) {
            slots_.pop_back();
            return;
        }
        const NodeId last = slots_.back();
        const std::size_t remaining = slots_.size() - 1;
        std::size_t hole = 0;
        // Move the hole down to a leaf, always taking the smaller child (the right one on ties).
        while (hole < (remaining - 1) / 2) {
            // Which child is smaller follows no pattern, so it is picked without a branch.
            const std::size_t right = 2 * hole + 2;
            const std::size_t child =
                right - static_cast<std::size_t>(key_(slots_[right - 1]) < key_(slots_[right]));
            slots_[hole] = slots_[child];
            hole = child;
        }
        if (remaining % 2 == 0 && hole == (remaining - 1) / 2) {
            slots_[hole] = slots_[remaining - 1];
            hole = remaining - 1;
        }
        raise(hole, last);
        slots_.pop_back();
    }

private:
    // Puts `node` in `hole` or above it, moving parents with a greater key down.
    void raise(std::size_t hole, NodeId node) {
        while (hole > 0) {
            const std::size_t parent = (hole - 1) / 2;
            if (!(key_(slots_[parent]) > key_(node))) {
                break;
            }
            slots_[hole] = slots_[parent];
            hole = parent;
        }
        slots_[hole] = node;
    }

    LargeVector<NodeId> slots_;
    Key key_;
};

// The same heap, with the same tie rules and so the same order, holding a copy of each entry's
// key: comparisons read the heap's own arrays alone, not node records spread over the graph,
// which pays once the heap holds thousands of entries (on an open grid, tens of thousands; on a
// maze it stays under a hundred, the records are in cache and tracking slots only costs).
// Since keys are copies, `lowered(node)` must follow every drop of a key of a node in the heap;
// for that each node's slot is tracked, in an array of one entry per node of the graph.
// Keys and nodes are kept in two arrays: a removal's chain of comparisons reads only keys, so
// more levels of them stay in the nearest cache. Entry i sits at place i + 1 of each, so that
// two siblings share an aligned pair of keys, four cousins half a cache line and the eight
// below them a whole one, which a removal loads ahead of the level it is at.
template <class Key>
class KeyedNodeHeap {
public:
    // For nodes numbered below `nodeCount`, starting from the entries of `heap` in their slots.
    template <class Source>
    KeyedNodeHeap(Key key, std::size_t nodeCount, const Source& heap)
        : key_(key), slotOf_(nodeCount, kNoSlot) {
        // Large enough to come from whole pages.
        const std::size_t room = std::max(heap.slots().size() * 2, kLargeBlockEntries);
        keys_.reserve(room);
        nodes_.reserve(room);
        keys_.push_back(0);
        nodes_.push_back(kNoNode);
        for (const NodeId node : heap.slots()) {
            slotOf_[node] = static_cast<std::uint32_t>(size());
            keys_.push_back(key_(node));
            nodes_.push_back(node);
        }
    }

    bool empty() const { return nodes_.size() == 1; }
    std::size_t size() const { return nodes_.size() - 1; }
    NodeId top() const { return nodes_[1]; }

    void push(NodeId node) {
        const std::uint64_t key = key_(node);
        keys_.push_back(key);
        nodes_.push_back(node);
        raise(size() - 1, key, node);
    }

    // Copies the key of `node` into its slot again, if it is in the heap; it does not move.
    void lowered(NodeId node) {
        const std::uint32_t slot = slotOf_[node];
        if (slot < size() && nodes_[slot + 1] == node) {
            keys_[slot + 1] = key_(node);
        }
    }

    // Removes the top entry. Needs a non-empty heap.
    void pop() {
        slotOf_[top()] = kNoSlot;
        if (size() == 1) {
            keys_.pop_back();
            nodes_.pop_back();
            return;
        }
        const std::uint64_t lastKey = keys_.back();
        const NodeId lastNode = nodes_.back();
        const std::size_t remaining = size() - 1;
        std::size_t hole = 0;
        const std::uint64_t* keys = keys_.data() + 1;
        while (hole < (remaining - 1) / 2) {
            // The grandchildren and the level below them, whichever child is taken.
            platform::prefetch(keys + std::min(4 * hole + 3, remaining));
            platform::prefetch(keys + std::min(8 * hole + 7, remaining));
            const std::size_t right = 2 * hole + 2;
            const std::size_t child =
                right - static_cast<std::size_t>(keys[right - 1] < keys[right]);
            place(hole, keys[child], nodes_[child + 1]);
            hole = child;
        }
        if (remaining % 2 == 0 && hole == (remaining - 1) / 2) {
            place(hole, keys[remaining - 1], nodes_[remaining]);
            hole = remaining - 1;
        }
        raise(hole, lastKey, lastNode);
        keys_.pop_back();
        nodes_.pop_back();
    }

private:
    static constexpr std::uint32_t kNoSlot = UINT32_MAX;
    static constexpr std::size_t kLargeBlockEntries =
        detail::kLargeBlockBytes / sizeof(std::uint64_t);

    void place(std::size_t hole, std::uint64_t key, NodeId node) {
        keys_[hole + 1] = key;
        nodes_[hole + 1] = node;
        slotOf_[node] = static_cast<std::uint32_t>(hole);
    }

    void raise(std::size_t hole, std::uint64_t key, NodeId node) {
        while (hole > 0) {
            const std::size_t parent = (hole - 1) / 2;
            if (!(keys_[parent + 1] > key)) {
                break;
            }
            place(hole, keys_[parent + 1], nodes_[parent + 1]);
            hole = parent;
        }
        place(hole, key, node);
    }

    Key key_;
    LargeVector<std::uint64_t> keys_;
    LargeVector<NodeId> nodes_;
    LargeVector<std::uint32_t> slotOf_;
};

} // namespace corridex
