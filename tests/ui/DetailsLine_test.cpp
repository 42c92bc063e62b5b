#include "ui/DetailsLine.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

using namespace std::chrono_literals;

constexpr std::uint64_t kMiB = 1024 * 1024;

TEST(DetailsLineTest, Formatting) {
    struct Case {
        double rate;
        std::optional<double> left;
        std::uint64_t done;
        std::uint64_t total;
        std::wstring line;
    };
    const std::vector<Case> cases = {
        {13002342.4, 80, 340 * kMiB, 812 * kMiB, L"12.4 MiB/s \u00B7 1 min 20 s left \u00B7 340 of 812 MiB"},
        {524288, std::nullopt, 3481 * 1024, 8 * kMiB, L"512 KiB/s \u00B7 3.3 of 8.0 MiB"},
        {kMiB - 600, 0.2, 120 * 1024, 512 * 1024, L"1023 KiB/s \u00B7 1 s left \u00B7 120 of 512 KiB"},
        {kMiB - 400, 59.5, 0, 700, L"1.0 MiB/s \u00B7 1 min 0 s left \u00B7 0 of 0 KiB"},
        {2048, 3600 * 2 + 5 * 60 + 1, 12 * kMiB, 0, L"2 KiB/s \u00B7 2 h 5 min left \u00B7 12 MiB"},
        {100, 3599, 900, 0, L"0 KiB/s \u00B7 59 min 59 s left \u00B7 0 KiB"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(std::string(row.line.begin(), row.line.end()));
        EXPECT_EQ(FormatDetailsLine(row.rate, row.left, row.done, row.total), row.line);
    }
}

TEST(DetailsLineTest, TheLineLiesBetweenTheStatusTextAndTheBarWithinThePanel) {
    const PixelRect details = BoxPixels(kDetailsTextBox);
    EXPECT_FALSE(Overlaps(details, BoxPixels(kStatusTextBox)));
    EXPECT_FALSE(Overlaps(details, kProgressBarRect));
    EXPECT_TRUE(Overlaps(details, details));
    EXPECT_LT(kDetailsTextBox.emSize, kStatusTextBox.emSize);
    // Inside the panel, and tall enough for one line of its font.
    EXPECT_TRUE(Covers(kPanelInside, details.x, details.y, details.x + details.width, details.y + details.height));
    EXPECT_GE(kDetailsTextBox.height, kDetailsTextBox.emSize * 1.2f);
}

// A download of 8 MiB at 1 MiB a second, one chunk each 250 ms.
struct Download {
    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    DetailsTracker tracker{[this] { return now; }};
    std::vector<std::wstring> shown;

    void Tell(ProgressEvent event) {
        if (std::optional<std::wstring> line = tracker.Take(event))
            shown.push_back(*line);
    }
    void Bytes(std::uint64_t done) {
        Tell({.kind = ProgressEventKind::DownloadBytes, .done = done, .total = 8 * kMiB});
    }
};

TEST(DetailsTrackerTest, NothingBeforeARateAtMostOneChangeASecondAndATimeLeftAfterTwoSeconds) {
    Download d;
    d.Tell({.kind = ProgressEventKind::DownloadStarted, .total = 8 * kMiB});
    EXPECT_TRUE(d.shown.empty());  // already empty
    for (int quarter = 1; quarter <= 14; ++quarter) {
        d.Bytes(quarter * kMiB / 4);
        d.now += 250ms;
    }
    // A rate after 1 s of data, then one change a second; the time left from the 2nd second on.
    ASSERT_EQ(d.shown.size(), 3u);
    EXPECT_EQ(d.shown[0], L"1.0 MiB/s \u00B7 1.2 of 8.0 MiB");
    EXPECT_EQ(d.shown[1], L"1.0 MiB/s \u00B7 6 s left \u00B7 2.2 of 8.0 MiB");
    EXPECT_EQ(d.shown[2], L"1.0 MiB/s \u00B7 5 s left \u00B7 3.2 of 8.0 MiB");
    d.Tell({.kind = ProgressEventKind::DownloadEnded});
    EXPECT_EQ(d.shown.back(), L"");
    d.Tell({.kind = ProgressEventKind::DownloadStarted, .total = 8 * kMiB});
    d.Tell({.kind = ProgressEventKind::PatchInstalled});
    EXPECT_EQ(d.shown.size(), 4u);
}

}  // namespace
}  // namespace ombrelta
