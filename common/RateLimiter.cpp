#include "common/RateLimiter.h"

#include <thread>
#include <utility>

namespace ombrelta {

using std::chrono::nanoseconds;

RateLimiter::RateLimiter(std::uint64_t bytesPerSecond, Clock clock, Sleep sleep)
    : bytesPerSecond(bytesPerSecond),
      clock(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); })),
      sleep(sleep ? std::move(sleep) : Sleep([](nanoseconds time) { std::this_thread::sleep_for(time); })),
      burst(std::chrono::milliseconds(250)),
      paidUntil(this->clock() - burst) {}

// Whole seconds and the remainder apart, so that the product stays far from overflowing.
nanoseconds RateLimiter::TimeFor(std::uint64_t bytes) const {
    const std::uint64_t seconds = bytes / bytesPerSecond;
    const std::uint64_t rest = bytes % bytesPerSecond * 1000000000 / bytesPerSecond;
    return std::chrono::seconds(seconds) + nanoseconds(rest);
}

void RateLimiter::Take(std::uint64_t bytes) {
    const auto earliest = clock() - burst;
    if (paidUntil < earliest)
        paidUntil = earliest;
    paidUntil += TimeFor(bytes);
}

nanoseconds RateLimiter::Delay() const {
    const auto now = clock();
    return paidUntil > now ? paidUntil - now : nanoseconds(0);
}

void RateLimiter::Wait() {
    for (nanoseconds delay = Delay(); delay > nanoseconds(0); delay = Delay())
        sleep(delay);
}

}  // namespace ombrelta
