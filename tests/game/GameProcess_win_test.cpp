#include "game/GameProcess.h"

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "common/Text.h"
#include "game/GameCommand.h"
#include "game/GameWatch.h"
#include "tests/game/PaddedPath.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

// Waits for something another process does; bounded, never a timing assertion.
template <typename Condition>
bool WaitFor(Condition condition) {
    for (int i = 0; i < 1500; ++i) {
        if (condition())
            return true;
        Sleep(10);
    }
    return condition();
}

// The stand-in game, built beside the tests; the path is a host path under Wine's Z: drive.
std::wstring StandInGame() {
    std::wstring path = Utf8ToWide(OMBRELTA_STAND_IN_GAME);
    return path.front() == L'/' ? L"Z:" + path : path;
}

// A copy of the stand-in under its own name, so no other game process is ever touched.
std::wstring CopyStandIn(const test::TempDir& dir, const std::wstring& name, const char* seconds) {
    std::wstring exePath = dir.Path() + name + L".exe";
    EXPECT_TRUE(CopyFileW(StandInGame().c_str(), exePath.c_str(), TRUE));
    test::WriteFileBytes(dir.Child(L"Tarvesk.seconds.txt"), seconds);
    return exePath;
}

std::string RunReport(const test::TempDir& dir) {
    std::wstring path = dir.Child(L"Tarvesk.run.txt");
    if (!test::FileExists(path))
        return std::string();
    std::string text = test::ReadFileBytes(path);
    return text.find('\n') != text.rfind('\n') ? text : std::string();
}

TEST(GameProcessWin, NamesCompareWithTheSystemsCaseTable) {
    EXPECT_TRUE(EqualsIgnoringCase(L"Mossfield\u00e9", L"MOSSFIELD\u00c9"));
    EXPECT_TRUE(ProcessNameMatches(L"\u00c9T\u00c9.EXE", L"\u00e9t\u00e9"));
    EXPECT_FALSE(EqualsIgnoringCase(L"\u00e9", L"e"));
}

TEST(GameProcessWin, StartsTheGameWithItsCommandLineInItsFolderThenEndsIt) {
    test::TempDir dir;
    std::wstring name = L"TarveskProbe" + std::to_wstring(GetCurrentProcessId());
    std::wstring exePath = CopyStandIn(dir, name, "120");

    GameProcess game;
    ASSERT_TRUE(game.StartGame(exePath, L"mossfield"));
    EXPECT_TRUE(game.Running());
    EXPECT_EQ(game.ProcessName(), name);
    ASSERT_TRUE(WaitFor([&] { return !RunReport(dir).empty(); }));
    std::wstring directory = dir.Path().substr(0, dir.Path().size() - 1);
    EXPECT_EQ(RunReport(dir), WideToUtf8(L"\"" + exePath + L"\" mossfield\n" + directory + L"\n"));

    EXPECT_TRUE(WaitFor([&] { return game.IsGameRunning(); }));
    EXPECT_FALSE(game.WatchGameEnded(game.LaunchTick() + kGameWatchGraceMs));
    game.TerminateGameProcesses();
    EXPECT_TRUE(WaitFor([&] { return !game.IsGameRunning(); }));
    EXPECT_TRUE(game.WatchGameEnded(game.LaunchTick() + kGameWatchGraceMs));
    EXPECT_FALSE(game.Running());
}

TEST(GameProcessWin, AGameThatEndsByItselfIsSeenAsEnded) {
    test::TempDir dir;
    std::wstring name = L"TarveskShort" + std::to_wstring(GetCurrentProcessId());
    std::wstring exePath = CopyStandIn(dir, name, "0");

    GameProcess game;
    ASSERT_TRUE(game.StartGame(exePath, L"mossfield"));
    ASSERT_TRUE(WaitFor([&] { return !RunReport(dir).empty(); }));
    EXPECT_TRUE(WaitFor([&] { return !game.IsGameRunning(); }));
    EXPECT_FALSE(game.WatchGameEnded(game.LaunchTick() + kGameWatchGraceMs - 1));
    EXPECT_TRUE(game.WatchGameEnded(game.LaunchTick() + kGameWatchGraceMs));
}

TEST(GameProcessWin, StartsOnlyWhenTheWorkingDirectoryFitsTheBuffer) {
    for (const std::size_t directoryLength : {kMaxWorkingDirectoryLength + 1, kMaxWorkingDirectoryLength}) {
        SCOPED_TRACE(directoryLength);
        const bool fits = directoryLength <= kMaxWorkingDirectoryLength;
        test::TempDir dir;
        std::wstring name = L"TarveskLong" + std::to_wstring(GetCurrentProcessId());
        CopyStandIn(dir, name, "0");
        std::wstring exePath = test::PaddedPath(dir.Path(), name + L".exe", directoryLength);
        ASSERT_EQ(WorkingDirectoryOf(exePath).size(), directoryLength);

        GameProcess game;
        EXPECT_EQ(game.StartGame(exePath, L"mossfield"), fits);
        if (fits)
            EXPECT_TRUE(WaitFor([&] { return !RunReport(dir).empty(); }));
        else
            EXPECT_FALSE(test::FileExists(dir.Child(L"Tarvesk.run.txt")));
    }
}

}  // namespace
}  // namespace ombrelta
