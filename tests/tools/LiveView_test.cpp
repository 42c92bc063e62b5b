#include "tools/check/LiveView.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

using namespace std::chrono_literals;

// A terminal of 60 columns on a clock the test moves, keeping every byte written.
struct ScreenRecord {
    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    std::string written;

    LiveTerminal Terminal() {
        return {.columns = [] { return std::size_t{60}; },
                .write = [this](std::string_view bytes) { written += bytes; },
                .clock = [this] { return now; }};
    }
    std::size_t Frames() const {
        return static_cast<std::size_t>(std::count(written.begin(), written.end(), '\r'));
    }
};

TEST(LiveViewTest, DrawsAtMostTenFramesASecondAndTheLatestAtTheEnd) {
    ScreenRecord screen;
    ChunkTraffic traffic;
    LiveView view(traffic, screen.Terminal());
    for (int i = 0; i < 100; ++i) {
        view.Report(L"Checking file " + std::to_wstring(i), i);
        screen.now += 10ms;
    }
    EXPECT_EQ(screen.Frames(), 10u);
    view.Finish();
    EXPECT_EQ(screen.Frames(), 11u);
    const std::size_t lastFrame = screen.written.rfind('\r');
    const std::string line = screen.written.substr(lastFrame + 1, screen.written.find('\n') - lastFrame - 1);
    EXPECT_EQ(line.size(), 57u);
    EXPECT_NE(line.find(" 99% [#########.]  Checking file 99"), std::string::npos) << line;
    // Nothing but the carriage returns and the two line ends moves the cursor.
    EXPECT_EQ(
        std::count_if(screen.written.begin(), screen.written.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n'; }),
        0);
    EXPECT_EQ(std::count(screen.written.begin(), screen.written.end(), '\n'), 2);
}

TEST(LiveViewTest, DownloadFiguresFollowTheTrafficAndRepairsAreCountedOnceDone) {
    ScreenRecord screen;
    ChunkTraffic traffic;
    traffic.Received(4096, {.written = 4096, .total = 4096});  // before the view: not counted
    LiveView view(traffic, screen.Terminal());
    const std::uint64_t mib = 1024 * 1024;
    view.Report(L"Repairing a.pak", 0);
    EXPECT_EQ(screen.written.find("MiB"), std::string::npos);
    for (std::uint32_t second = 1; second <= 4; ++second) {
        screen.now += 1s;
        traffic.Received(mib, {.written = second * static_cast<std::uint32_t>(mib), .total = 8 * mib});
        view.Report(L"Repairing a.pak", static_cast<std::int32_t>(second * 100 / 8));
    }
    const std::string last = screen.written.substr(screen.written.rfind('\r') + 1);
    EXPECT_EQ(last, " 50% [#####.....] 4.0/8.0 MiB 1.00 MiB/s 0:04 left  R...k");
    view.Event({.kind = ProgressEventKind::RepairDone, .subject = "a.pak"});
    view.Report(L"Checking a.pak", 100);
    view.Report(L"Repairing b.pak", 0);
    view.Event({.kind = ProgressEventKind::RepairDone, .subject = "b.pak"});
    view.Report(L"Checking b.pak", 100);
    view.Report(L"Ready.", 100);
    screen.now += 1s;
    view.Finish();
    EXPECT_EQ(screen.written.substr(screen.written.rfind('\n', screen.written.size() - 2) + 1),
              "Downloaded 4.0 MiB in 0:05, 819 KiB/s on average, 2 files repaired.\n");
}

TEST(LiveViewTest, AViewLeftWithoutFinishEndsItsLine) {
    ScreenRecord screen;
    ChunkTraffic traffic;
    {
        LiveView view(traffic, screen.Terminal());
        view.Report(L"Checking patches...", 20);
    }
    EXPECT_EQ(screen.Frames(), 1u);
    EXPECT_TRUE(screen.written.ends_with("Checking patches..." + std::string(19, ' ') + "\n"));
}

TEST(LiveViewTest, ALineOfItsOwnEndsTheLiveLineFirst) {
    ScreenRecord screen;
    ChunkTraffic traffic;
    LiveView view(traffic, screen.Terminal());
    view.Report(L"Checking patch version 0", 5);
    view.Report(L"Patch found: 1", 20);
    view.PrintLine("error: Patch update failed.");
    EXPECT_EQ(screen.Frames(), 2u);
    EXPECT_NE(screen.written.find("Patch found: 1"), std::string::npos);
    EXPECT_EQ(screen.written.substr(screen.written.size() - 29), "\nerror: Patch update failed.\n");
}

// A repair cut by a lost connection is not done, whatever report follows the reconnection.
TEST(LiveViewTest, ARepairCutByALostConnectionIsNotCounted) {
    ScreenRecord screen;
    ChunkTraffic traffic;
    LiveView view(traffic, screen.Terminal());
    view.Report(L"Repairing data\\big.pak", 0);
    view.Event({.kind = ProgressEventKind::RepairStarted, .subject = "data/big.pak"});
    view.Event({.kind = ProgressEventKind::RepairCut, .subject = "data/big.pak", .detail = "connection lost"});
    view.Report(L"Connection lost, retrying in 1 s (1 of 3)...", 0);
    view.Report(L"Checking patches...", 20);
    view.Report(L"Checking game files...", 70);
    view.Report(L"Checking data\\small.pak", 50);
    view.Finish();
    EXPECT_TRUE(screen.written.ends_with(" 0 files repaired.\n")) << screen.written;
}

}  // namespace
}  // namespace ombrelta
