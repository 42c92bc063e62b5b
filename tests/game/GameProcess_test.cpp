#include "game/GameProcess.h"

#include <string>

#include <gtest/gtest.h>

#include "common/FileSystem.h"
#include "game/GameWatch.h"
#include "tests/game/PaddedPath.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

TEST(GameProcess, StartsIdleWithTheGameName) {
    GameProcess game;
    EXPECT_EQ(game.ProcessName(), L"Tarvesk");
    EXPECT_FALSE(game.Running());
    EXPECT_EQ(game.LaunchTick(), 0u);
}

TEST(GameProcess, MissingExecutableChangesNothing) {
    test::TempDir dir;
    GameProcess game;
    EXPECT_FALSE(game.StartGame(dir.Child(L"Nothing.exe"), L"mossfield"));
    EXPECT_FALSE(game.StartGame(L"", L"mossfield"));
    EXPECT_EQ(game.ProcessName(), L"Tarvesk");
    EXPECT_FALSE(game.Running());
    EXPECT_EQ(game.LaunchTick(), 0u);
}

TEST(GameProcess, RefusesAWorkingDirectoryThatDoesNotFitTheBuffer) {
    test::TempDir dir;
    test::WriteFileBytes(dir.Child(L"Tarvesk.exe"), "not a program");
    std::wstring exePath = test::PaddedPath(dir.Path(), L"Tarvesk.exe");
    ASSERT_EQ(exePath.find_last_of(L"\\/"), kMaxWorkingDirectoryLength + 1);
    ASSERT_TRUE(PathExists(exePath));

    GameProcess game;
    EXPECT_FALSE(game.StartGame(exePath, L"mossfield"));
    EXPECT_FALSE(game.Running());
    EXPECT_EQ(game.LaunchTick(), 0u);
}

TEST(ProcessControl, LaunchRefusesALongWorkingDirectoryWithoutTouchingIt) {
    std::wstring directory(kMaxWorkingDirectoryLength + 1, L'x');
    EXPECT_FALSE(LaunchProcess(L"\"x.exe\" mossfield", directory));
    EXPECT_FALSE(LaunchProcess(L"\"x.exe\" mossfield", std::wstring(5000, L'y')));
}

TEST(ProcessControl, LaunchFailsForAFileThatIsNoProgram) {
    test::TempDir dir;
    std::wstring exePath = dir.Child(L"Broken.exe");
    test::WriteFileBytes(exePath, "");
    std::wstring directory = dir.Path().substr(0, dir.Path().size() - 1);
    EXPECT_FALSE(LaunchProcess(L"\"" + exePath + L"\" mossfield", directory));

    GameProcess game;
    EXPECT_FALSE(game.StartGame(exePath, L"mossfield"));
    EXPECT_EQ(game.ProcessName(), L"Broken");
    EXPECT_FALSE(game.Running());
}

TEST(ProcessControl, ListsProcessesAndSkipsUnknownIds) {
    std::size_t count = 0;
    EXPECT_TRUE(ForEachProcess([&](const ProcessEntry&) { return ++count < 3; }));
    EXPECT_GE(count, 1u);
    EXPECT_LE(count, 3u);
    EXPECT_FALSE(TerminateProcessById(0));
}

TEST(GameProcess, WatchIgnoresAnIdleGame) {
    GameProcess game;
    EXPECT_FALSE(game.WatchGameEnded(CurrentTickCount()));
    EXPECT_FALSE(game.WatchGameEnded(kGameWatchGraceMs));
}

TEST(GameProcess, WatchKeepsTheGraceThenEndsWhenNoProcessIsLeft) {
    GameProcess game;
    // Nothing named like this test runs, so the watch finds no game once the grace is over.
    test::TempDir dir;
    std::wstring exePath = dir.Child(L"NoSuchGame7f3a9.exe");
    test::WriteFileBytes(exePath, "");
    (void)game.StartGame(exePath, L"");
    ASSERT_EQ(game.ProcessName(), L"NoSuchGame7f3a9");
    game.SetRunning(true);
    EXPECT_FALSE(game.WatchGameEnded(game.LaunchTick() + kGameWatchGraceMs - 1));
    EXPECT_TRUE(game.Running());
    EXPECT_TRUE(game.WatchGameEnded(game.LaunchTick() + kGameWatchGraceMs));
    EXPECT_FALSE(game.Running());
    EXPECT_FALSE(game.WatchGameEnded(game.LaunchTick() + kGameWatchGraceMs));
}

TEST(GameProcess, TerminateWithNoMatchingProcessDoesNothing) {
    test::TempDir dir;
    std::wstring exePath = dir.Child(L"NoSuchGame51c2e.exe");
    test::WriteFileBytes(exePath, "");
    GameProcess game;
    (void)game.StartGame(exePath, L"");
    ASSERT_EQ(game.ProcessName(), L"NoSuchGame51c2e");
    game.TerminateGameProcesses();
    EXPECT_FALSE(game.IsGameRunning());
}

}  // namespace
}  // namespace ombrelta
