#pragma once

#include "system/platform.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corridex {

// A set of node positions in a store of fixed size, found in increasing order: a bit per node
// and a summary bit per 64-node word, so that finding the next member skips 4096 absent nodes
// per summary word. Insert, erase O(1); next O(1 + store size / 4096) at worst.
class PendingNodes {
public:
    static constexpr std::size_t npos = SIZE_MAX;

    explicit PendingNodes(std::size_t count)
        : words_((count + kBits - 1) / kBits, 0),
          summary_((words_.size() + kBits - 1) / kBits, 0) {}

    void insert(std::size_t node) {
        const std::size_t word = node / kBits;
        words_[word] |= bit(node);
        summary_[word / kBits] |= bit(word);
    }

    void erase(std::size_t node) {
        const std::size_t word = node / kBits;
        words_[word] &= ~bit(node);
        if (words_[word] == 0) {
            summary_[word / kBits] &= ~bit(word);
        }
    }

    // The smallest member not below `from`, or npos.
    std::size_t next(std::size_t from) const {
        std::size_t word = from / kBits;
        if (word >= words_.size()) {
            return npos;
        }
        const std::uint64_t here = words_[word] & (~std::uint64_t{0} << (from % kBits));
        if (here != 0) {
            return word * kBits + lowestBit(here);
        }
        ++word;
        std::size_t group = word / kBits;
        if (group >= summary_.size()) {
            return npos;
        }
        std::uint64_t live = word % kBits == 0
                                 ? summary_[group]
                                 : summary_[group] & (~std::uint64_t{0} << (word % kBits));
        while (live == 0) {
            if (++group >= summary_.size()) {
                return npos;
            }
            live = summary_[group];
        }
        word = group * kBits + lowestBit(live);
        return word * kBits + lowestBit(words_[word]);
    }

private:
    static constexpr std::size_t kBits = 64;
    static std::uint64_t bit(std::size_t position) {
        return std::uint64_t{1} << (position % kBits);
    }
    static std::size_t lowestBit(std::uint64_t bits) { return platform::trailingZeros64(bits); }

    std::vector<std::uint64_t> words_;
    std::vector<std::uint64_t> summary_;
};

} // namespace corridex
