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
    explicit CancellationPoll(std::function<void()> callback) : callback_(std::move(callback)) {}

    // Counts `units` of work (a node expanded, an edge relaxed, a cell carved); polls once every
    // kPollInterval units.
    void tick(std::uint64_t units = 1) {
        budget_ -= static_cast<std::int64_t>(units);
        if (budget_ < 0) {
            budget_ = kPollInterval;
            if (callback_) {
                callback_();
            }
        }
    }

    static constexpr std::int64_t kPollInterval = 1 << 12;

private:
    std::function<void()> callback_;
    std::int64_t budget_ = kPollInterval;
};

} // namespace corridex
