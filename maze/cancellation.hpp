#pragma once

#include <cstdint>
#include <functional>
#include <utility>

namespace corridex {

// Lets a caller abandon long work. The work calls `tick` as it goes; about every few
// milliseconds of work the callback runs and may throw to stop it. The work is written so that
// an exception from here leaves its object safe to read and to destroy.
class CancellationPoll {
public:
    CancellationPoll() = default;
    // `interval` is the number of work units between two polls.
    explicit CancellationPoll(std::function<void()> callback,
                              std::int64_t interval = kDefaultInterval)
        : callback_(std::move(callback)), interval_(interval), budget_(interval) {}

    // Counts `units` of work (a node expanded, an edge relaxed, a cell carved); polls once every
    // `interval` units.
    void tick(std::uint64_t units = 1) {
        budget_ -= static_cast<std::int64_t>(units);
        if (budget_ < 0) {
            budget_ = interval_;
            if (callback_) {
                callback_();
            }
        }
    }

    // A fraction of a millisecond of the searches' work: polling costs a few nanoseconds.
    static constexpr std::int64_t kDefaultInterval = 1 << 12;

private:
    std::function<void()> callback_;
    std::int64_t interval_ = kDefaultInterval;
    std::int64_t budget_ = kDefaultInterval;
};

} // namespace corridex
