#include "game/GameWatch.h"

#include <string>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(GameWatch, GracePeriodAcrossATickCountWrap) {
    constexpr std::uint32_t kLaunch = 0xFFFFF000u;
    EXPECT_EQ(TicksSince(kLaunch, 0x00001000u), 8192u);
    EXPECT_FALSE(GracePeriodOver(kLaunch, 0x00001000u));
    EXPECT_FALSE(GracePeriodOver(kLaunch, 0x00001000u + 1807u));
    EXPECT_TRUE(GracePeriodOver(kLaunch, 0x00001000u + 1808u));
    EXPECT_TRUE(GracePeriodOver(kLaunch, 0x00010000u));
}

TEST(GameWatch, GracePeriodBoundaries) {
    struct Row {
        std::uint32_t launchTick;
        std::uint32_t now;
        bool over;
    };
    const Row rows[] = {
        {0, 0, false},
        {0, 9999, false},
        {0, 10000, true},
        {1000, 10999, false},
        {1000, 11000, true},
        {0xFFFFFFFFu, 9998, false},
        {0xFFFFFFFFu, 9999, true},
        {5000, 4999, true},  // a tick from before the start: 2^32 - 1 ms
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.launchTick) + " -> " + std::to_string(row.now));
        EXPECT_EQ(GracePeriodOver(row.launchTick, row.now), row.over);
    }
}

TEST(GameWatch, ClosesOnlyForAnEndedGameAfterTheGrace) {
    struct Row {
        bool running;
        std::uint32_t now;
        bool gameRunning;
        bool close;
    };
    // Started at tick 100000.
    const Row rows[] = {
        {false, 200000, false, false},  // nothing started
        {true, 105000, false, false},   // ended at 5 s: wait for the grace
        {true, 110000, false, true},    // first tick at 10 s: close
        {true, 110000, true, false},    // still running at 10 s: stay
        {true, 500000, true, false},   {true, 500000, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.now) + (row.running ? " running" : " idle") +
                     (row.gameRunning ? " game" : " no game"));
        EXPECT_EQ(ShouldCloseAfterGameEnded(row.running, 100000, row.now, row.gameRunning), row.close);
    }
}

}  // namespace
}  // namespace ombrelta
