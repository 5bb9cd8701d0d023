#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>

namespace corridex {

// A list of at most `Capacity` entries kept inside its owner, so that adjacency lists cost no
// heap allocation per node. Appending past the capacity is a programming error.
template <class T, std::size_t Capacity>
class InlineList {
public:
    void push_back(const T& value) {
        assert(size_ < Capacity);
        items_[size_++] = value;
    }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const T& operator[](std::size_t i) const { return items_[i]; }
    const T* begin() const { return items_.data(); }
    const T* end() const { return items_.data() + size_; }

private:
    std::array<T, Capacity> items_{};
    std::uint8_t size_ = 0;
};

} // namespace corridex
