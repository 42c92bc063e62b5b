#include "tools/check/LiveLine.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Text.h"

namespace ombrelta {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

TEST(LiveLineTest, NumbersAreFormattedForPeople) {
    struct Row {
        double seconds;
        const char* duration;
    };
    for (const Row& row : {Row{0, "0:00"}, Row{0.2, "0:01"}, Row{59.5, "1:00"}, Row{3599, "59:59"},
                           Row{3600, "1:00:00"}, Row{3725, "1:02:05"}, Row{-3, "0:00"}}) {
        SCOPED_TRACE(row.seconds);
        EXPECT_EQ(FormatDuration(row.seconds), row.duration);
    }
    EXPECT_EQ(FormatRate(2 * kMiB), "2.00 MiB/s");
    EXPECT_EQ(FormatRate(kMiB - 1), "1.00 MiB/s");
    EXPECT_EQ(FormatRate(kMiB - 513), "1023 KiB/s");
    EXPECT_EQ(FormatRate(512 * 1024), "512 KiB/s");
    EXPECT_EQ(FormatMiB(64 * kMiB), "64.0");
    EXPECT_EQ(FormatMiB(30198989), "28.8");
}

TEST(LiveLineTest, LineLeavesRoomForAnEchoedInterrupt) {
    LiveStatus download{.text = L"Repairing data\\world\\mossfield.pak",
                        .percent = 45,
                        .downloading = true,
                        .done = 30198989,
                        .total = 64 * kMiB,
                        .bytesPerSecond = 2.0 * kMiB,
                        .secondsLeft = 17.2};
    const std::string expected =
        " 45% [#######.........] 28.8/64.0 MiB 2.00 MiB/s 0:18 left  Repairing data\\world\\mossfield.pak";
    EXPECT_EQ(FormatLiveLine(download, 100), expected + std::string(97 - expected.size(), ' '));

    LiveStatus stage{.text = L"Checking patch version 3", .percent = 5};
    EXPECT_EQ(FormatLiveLine(stage, 60),
              "  5% [..........]  Checking patch version 3" + std::string(14, ' '));
    EXPECT_EQ(FormatLiveLine(stage, 20), "  5%  Chec...on 3");
    EXPECT_EQ(FormatLiveLine(stage, 6), "  5");

    LiveStatus unknownSize{.text = L"Downloading patch 2", .percent = 25, .downloading = true, .done = kMiB};
    EXPECT_EQ(FormatLiveLine(unknownSize, 50).substr(0, 38), " 25% [##........] 1.0 MiB  Downloading");
}

TEST(LiveLineTest, LongTextLosesItsMiddleAndControlCharactersTheirEffect) {
    struct Row {
        const wchar_t* text;
        std::string shown;
    };
    const std::vector<Row> rows = {
        {L"Repairing data\\a-very-long-directory-name\\mossfield.pak",
         "Repairing data\\a-v...-name\\mossfield.pak"},
        {L"Checking bad\rname\x1b[2J", "Checking bad?name?[2J"},
        {L"Checking caf\u00e9", "Checking caf\xc3\xa9"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shown);
        const std::string line = FormatLiveLine({.text = row.text, .percent = 100}, 49);
        EXPECT_EQ(line.substr(0, 6), "100%  ");
        EXPECT_EQ(line.substr(6, row.shown.size()), row.shown);
        EXPECT_EQ(line.find_first_not_of(' ', 6 + row.shown.size()), std::string::npos);
        EXPECT_EQ(line.size() - row.shown.size() + Utf8ToWide(row.shown).size(), 46u);
    }
}

TEST(LiveLineTest, SummaryCountsBytesTimeAndRepairs) {
    EXPECT_EQ(FormatSummary({.bytesDownloaded = 64 * kMiB, .seconds = 32, .filesRepaired = 1}),
              "Downloaded 64.0 MiB in 0:32, 2.00 MiB/s on average, 1 file repaired.");
    EXPECT_EQ(FormatSummary({.bytesDownloaded = 0, .seconds = 0, .filesRepaired = 0}),
              "Downloaded 0.0 MiB in 0:00, 0 KiB/s on average, 0 files repaired.");
}

}  // namespace
}  // namespace ombrelta
