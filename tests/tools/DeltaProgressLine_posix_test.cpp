#include "tools/patch/DeltaProgressLine.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/patch/DeltaEncoder.h"

namespace ombrelta::patchkit {
namespace {

using namespace std::chrono_literals;
constexpr std::uint64_t kMiB = 1 << 20;

TEST(FormatDeltaProgress, ALongPathLosesItsMiddle) {
    EXPECT_EQ(FormatDeltaProgress(std::string(30, 'a') + std::string(30, 'z'), 25 * kMiB / 2, 257 * kMiB, 3.0 * kMiB),
              "delta " + std::string(22, 'a') + "..." + std::string(23, 'z') + ": 12.5/257.0 MiB, 3.00 MiB/s");
}

TEST(DeltaProgressLine, RedrawsAtMostTenTimesASecondCoversLongerLinesAndClears) {
    std::vector<std::string> drawn;
    DeltaProgressLine line([&](std::string_view text) { drawn.emplace_back(text); });
    const auto start = DeltaProgressLine::Clock::time_point{} + 1h;
    line.Update("big.pak", 0, 100 * kMiB, start);
    line.Update("big.pak", kMiB, 100 * kMiB, start + 50ms);
    line.Update("big.pak", 60 * kMiB, 100 * kMiB, start + 1s);
    line.Update("big.pak", 100 * kMiB, 100 * kMiB, start + 1010ms);
    line.Update("b", 0, kMiB, start + 1020ms);
    line.Clear();
    const std::vector<std::string> expected = {
        "\rdelta big.pak: 0.0/100.0 MiB",
        "\rdelta big.pak: 60.0/100.0 MiB, 60.00 MiB/s",
        "\rdelta big.pak: 100.0/100.0 MiB, 99.01 MiB/s",
        "\rdelta b: 0.0/1.0 MiB" + std::string(23, ' '),
        "\r" + std::string(20, ' ') + "\r",
    };
    EXPECT_EQ(drawn, expected);
}

TEST(DeltaLevelFor, FallsStepByStepWithTheSize) {
    EXPECT_EQ(DeltaLevelFor(0), 19);
    EXPECT_EQ(DeltaLevelFor(4 * kMiB), 19);
    EXPECT_EQ(DeltaLevelFor(4 * kMiB + 1), 17);
    EXPECT_EQ(DeltaLevelFor(32 * kMiB), 12);
    EXPECT_EQ(DeltaLevelFor(32 * kMiB + 10000), 9);
    EXPECT_EQ(DeltaLevelFor(256 * kMiB), 5);
    EXPECT_EQ(DeltaLevelFor(512 * kMiB), 3);
}

}  // namespace
}  // namespace ombrelta::patchkit
