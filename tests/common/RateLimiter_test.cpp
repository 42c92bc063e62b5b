#include "common/RateLimiter.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// A clock that moves only when the test (or the limiter's sleep) moves it.
struct ManualClock {
    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    nanoseconds slept{0};
    int sleeps = 0;

    RateLimiter Limiter(std::uint64_t bytesPerSecond, double wakeShare = 1.0) {
        return RateLimiter(
            bytesPerSecond, [this] { return now; },
            [this, wakeShare](nanoseconds time) {
                // A sleep that wakes early still moves the clock a little.
                const auto step = std::max(nanoseconds(1),
                                           nanoseconds(static_cast<std::int64_t>(time.count() * wakeShare)));
                now += step;
                slept += step;
                ++sleeps;
            });
    }
};

TEST(RateLimiterTest, DebtIsPaidAtTheRateAndIdleTimeEarnsAQuarterSecond) {
    struct Step {
        milliseconds advance;
        std::uint64_t take;
        milliseconds delay;
    };
    struct Case {
        std::string name;
        std::vector<Step> steps;
    };
    // 1000 bytes a second: a full bucket holds 250 bytes.
    const std::vector<Case> cases = {
        {"a full bucket", {{0ms, 250, 0ms}, {0ms, 1, 1ms}}},
        {"one second owed", {{0ms, 1250, 1000ms}}},
        {"time pays part of it", {{0ms, 1250, 1000ms}, {400ms, 0, 600ms}, {600ms, 0, 0ms}}},
        {"a long idle earns no more than the bucket", {{10000ms, 2250, 2000ms}}},
        {"debt adds up over chunks", {{0ms, 500, 250ms}, {0ms, 500, 750ms}, {750ms, 500, 500ms}}},
        {"steady chunks at the rate never wait past their time",
         {{0ms, 1000, 750ms}, {750ms, 1000, 1000ms}, {1000ms, 0, 0ms}}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        ManualClock clock;
        RateLimiter limiter = clock.Limiter(1000);
        for (const Step& step : row.steps) {
            clock.now += step.advance;
            limiter.Take(step.take);
            EXPECT_EQ(limiter.Delay(), nanoseconds(step.delay));
        }
    }
}

TEST(RateLimiterTest, WaitSleepsExactlyTheDebtEvenWhenWokenEarly) {
    for (const double wakeShare : {1.0, 0.5, 0.1}) {
        SCOPED_TRACE(wakeShare);
        ManualClock clock;
        RateLimiter limiter = clock.Limiter(2048 * 1024, wakeShare);
        limiter.Take(2048 * 1024 * 3);
        limiter.Wait();
        EXPECT_EQ(limiter.Delay(), 0ns);
        EXPECT_EQ(clock.slept, 2750ms);
        EXPECT_EQ(clock.sleeps > 1, wakeShare < 1.0);
        limiter.Wait();
        EXPECT_EQ(clock.slept, 2750ms);
    }
}

TEST(RateLimiterTest, LargestRateAndChunkKeepExactTime) {
    ManualClock clock;
    // 1,000,000 KiB/s and a chunk of 4 GiB - 1: seconds and remainder are counted apart.
    RateLimiter limiter = clock.Limiter(1024000000);
    limiter.Take(4294967295u);
    EXPECT_EQ(limiter.Delay(), nanoseconds(3944303999));
}

}  // namespace
}  // namespace ombrelta
