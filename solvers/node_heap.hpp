#pragma once

#include "maze/graph_nodes.hpp"
#include "maze/large_block_allocator.hpp"

#include <cstddef>
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

} // namespace corridex
