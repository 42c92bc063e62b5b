#include "game/GameProcess.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "common/FileSystem.h"
#include "common/Text.h"
#include "game/GameCommand.h"
#include "game/GameWatch.h"
#include "tests/game/PaddedPath.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

// Waits for a condition that another process brings about; bounded, never a timing assertion.
bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

void MakeExecutable(const std::wstring& path) {
    ASSERT_EQ(::chmod(ToNativePath(path).c_str(), 0755), 0);
}

std::string ReadIfComplete(const std::wstring& path) {
    if (!test::FileExists(path))
        return std::string();
    std::string text = test::ReadFileBytes(path);
    return text.ends_with("end\n") ? text : std::string();
}

TEST(GameProcessPosix, RunsTheProgramWithItsArgumentsInItsOwnDirectory) {
    test::TempDir dir;
    std::wstring exePath = dir.Child(L"run game.sh");
    test::WriteFileBytes(exePath, "#!/bin/sh\n{ pwd; echo \"$#:$1\"; echo end; } > report.txt\n");
    MakeExecutable(exePath);

    GameProcess game;
    std::uint32_t before = CurrentTickCount();
    ASSERT_TRUE(game.StartGame(exePath, L"mossfield"));
    EXPECT_TRUE(game.Running());
    EXPECT_EQ(game.ProcessName(), L"run game");
    EXPECT_LT(TicksSince(before, game.LaunchTick()), 60000u);

    std::wstring report = dir.Child(L"report.txt");
    ASSERT_TRUE(WaitFor([&] { return !ReadIfComplete(report).empty(); }));
    std::string expectedDirectory = std::filesystem::canonical(ToNativePath(dir.Path())).string();
    EXPECT_EQ(ReadIfComplete(report), expectedDirectory + "\n1:mossfield\nend\n");
}

// A directory of 259 characters starts the game, whether its text is padded or its folders are
// real; one character more and not even a real program starts.
TEST(GameProcessPosix, StartsOnlyWhenTheWorkingDirectoryFitsTheBuffer) {
    struct Case {
        const char* name;
        std::size_t directoryLength;
        bool realFolders;
        bool starts;
    };
    const Case cases[] = {
        {"padded, one too long", kMaxWorkingDirectoryLength + 1, false, false},
        {"padded, longest that fits", kMaxWorkingDirectoryLength, false, true},
        {"real folders, longest that fits", kMaxWorkingDirectoryLength, true, true},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        std::wstring directory = dir.Path();
        if (row.realFolders) {
            while (directory.size() < row.directoryLength)
                directory += directory.size() % 50 == 0 ? L'/' : L'd';
            directory.back() = L'e';
            directory += L'/';
        }
        std::wstring exePath = row.realFolders ? directory + L"g.sh" : test::PaddedPath(dir.Path(), L"g.sh", row.directoryLength);
        ASSERT_EQ(WorkingDirectoryOf(exePath).size(), row.directoryLength);
        test::WriteFileBytes(exePath, "#!/bin/sh\necho end > ran.txt\n");
        MakeExecutable(exePath);

        GameProcess game;
        EXPECT_EQ(game.StartGame(exePath, L"mossfield"), row.starts);
        EXPECT_EQ(game.Running(), row.starts);
        std::wstring ran = directory + L"ran.txt";
        if (row.starts)
            EXPECT_TRUE(WaitFor([&] { return test::FileExists(ran); }));
        else
            EXPECT_FALSE(test::FileExists(ran));
    }
}

TEST(GameProcessPosix, FindsAndTerminatesItsProcessesByName) {
    test::TempDir dir;
    // A private copy of sleep under a name nothing else on the machine carries.
    std::wstring name = L"ombgame" + std::to_wstring(::getpid()) + L"zz";
    std::wstring exePath = dir.Child(name + L".bin");
    std::filesystem::copy_file("/bin/sleep", ToNativePath(exePath));
    MakeExecutable(exePath);

    GameProcess game;
    ASSERT_TRUE(game.StartGame(exePath, L"60"));
    ASSERT_TRUE(game.StartGame(exePath, L"60"));
    EXPECT_EQ(game.ProcessName(), name);
    EXPECT_TRUE(game.IsGameRunning());
    EXPECT_FALSE(game.WatchGameEnded(game.LaunchTick() + kGameWatchGraceMs));
    EXPECT_TRUE(game.Running());

    game.TerminateGameProcesses();
    EXPECT_TRUE(WaitFor([&] { return !game.IsGameRunning(); }));
    EXPECT_FALSE(game.WatchGameEnded(game.LaunchTick() + kGameWatchGraceMs - 1));
    EXPECT_TRUE(game.WatchGameEnded(game.LaunchTick() + kGameWatchGraceMs));
    EXPECT_FALSE(game.Running());
}

TEST(GameProcessPosix, ListsThisProgramUnderItsOwnName) {
    std::uint32_t self = static_cast<std::uint32_t>(::getpid());
    std::wstring found;
    EXPECT_TRUE(ForEachProcess([&](const ProcessEntry& entry) {
        if (entry.id == self)
            found = entry.exeName;
        return entry.id != self;
    }));
    std::wstring expected = Utf8ToWide(std::filesystem::read_symlink("/proc/self/exe").filename().string());
    EXPECT_EQ(found, expected);
}

}  // namespace
}  // namespace ombrelta
