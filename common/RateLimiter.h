#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace ombrelta {

/// A token bucket over received bytes: bytes taken beyond the allowance put it in debt, and the
/// next request waits until the rate has paid the debt back. Idle time earns at most a quarter
/// of a second's bytes, so a pause is never followed by a long burst.
class RateLimiter {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using Sleep = std::function<void(std::chrono::nanoseconds)>;

    /// bytesPerSecond must be above 0. The bucket starts full. clock and sleep default to the
    /// steady clock and a sleep of the calling thread; tests pass their own.
    explicit RateLimiter(std::uint64_t bytesPerSecond, Clock clock = {}, Sleep sleep = {});

    /// Takes bytes that have arrived from the bucket.
    void Take(std::uint64_t bytes);
    /// How long from now until the debt is paid back; zero when nothing is owed.
    std::chrono::nanoseconds Delay() const;
    /// Sleeps for Delay(), however often the sleep wakes early.
    void Wait();

private:
    std::chrono::nanoseconds TimeFor(std::uint64_t bytes) const;

    std::uint64_t bytesPerSecond;
    Clock clock;
    Sleep sleep;
    std::chrono::nanoseconds burst;
    // The moment the bytes taken so far are paid for; never earlier than now - burst.
    std::chrono::steady_clock::time_point paidUntil;
};

}  // namespace ombrelta
