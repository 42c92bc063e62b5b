#include "common/TransferMeter.h"

#include <chrono>
#include <cmath>
#include <optional>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

using namespace std::chrono_literals;

constexpr double kMiB = 1024.0 * 1024.0;

TEST(TransferMeterTest, RateCoversTheLastFiveSeconds) {
    TransferMeter meter;
    const TransferMeter::TimePoint start{std::chrono::hours(1)};
    std::uint64_t bytes = 0;
    meter.Sample(start, bytes);
    EXPECT_EQ(meter.BytesPerSecond(), std::nullopt);
    // 1 MiB/s for 10 s, then 3 MiB/s for 3 s, a sample every half second.
    auto at = start;
    for (int i = 0; i < 26; ++i) {
        at += 500ms;
        bytes += static_cast<std::uint64_t>((i < 20 ? 1 : 3) * kMiB / 2);
        meter.Sample(at, bytes);
        if (at - start < 1s) {
            EXPECT_EQ(meter.BytesPerSecond(), std::nullopt);
        }
        if (i == 19) {
            EXPECT_DOUBLE_EQ(meter.BytesPerSecond().value(), kMiB);
        }
    }
    EXPECT_DOUBLE_EQ(meter.BytesPerSecond().value(), (2 * 1 + 3 * 3) * kMiB / 5);
    EXPECT_NEAR(meter.SecondsLeft(at, static_cast<std::uint64_t>(22 * kMiB)).value(), 10.0, 1e-9);
}

TEST(TransferMeterTest, TimeLeftMovesTowardsTheMeasureWithoutJumping) {
    struct Row {
        double previous;
        double elapsed;
        double measured;
        double shown;
    };
    const Row rows[] = {
        {10, 1, 9, 9},                                   // counting down as measured
        {10, 0, 20, 10},                                 // no time, no move
        {10, 1, 30, 9 + 21 * (1 - std::exp(-1.0 / 3))},  // a slow chunk only nudges it
        {10, 60, 30, 30 - 30 * std::exp(-20.0)},         // a long pause takes the measure
        {2, 5, 4, 4 * (1 - std::exp(-5.0 / 3))},         // never counts below zero
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.previous);
        EXPECT_NEAR(SmoothedTimeLeft(row.previous, row.elapsed, row.measured), row.shown, 1e-9);
    }
}

TEST(TransferMeterTest, ANewDownloadStartsItsTimeLeftAfresh) {
    TransferMeter meter;
    const TransferMeter::TimePoint start{std::chrono::hours(1)};
    meter.Sample(start, 0);
    meter.Sample(start + 2s, 2000);
    EXPECT_DOUBLE_EQ(meter.SecondsLeft(start + 2s, 10000).value(), 10.0);
    EXPECT_NEAR(meter.SecondsLeft(start + 2s, 1000).value(), 10.0, 1e-9);
    meter.NewDownload();
    EXPECT_DOUBLE_EQ(meter.SecondsLeft(start + 2s, 1000).value(), 1.0);
    EXPECT_EQ(TransferMeter().SecondsLeft(start, 5), std::nullopt);
}

}  // namespace
}  // namespace ombrelta
