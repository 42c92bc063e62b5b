#include "game/GameCommand.h"

#include <gtest/gtest.h>

#include "common/Text.h"
#include "game/GameProcess.h"

namespace ombrelta {
namespace {

TEST(FileStem, CutsDirectoryAndLastExtension) {
    struct Row {
        const wchar_t* path;
        const wchar_t* stem;
    };
    const Row rows[] = {
        {L"C:\\Games\\Ombrelta\\Tarvesk.exe", L"Tarvesk"},
        {L"/opt/ombrelta/Tarvesk.exe", L"Tarvesk"},
        {L"C:\\mixed/seps\\Tarvesk.exe", L"Tarvesk"},
        {L"C:/mixed\\seps/Tarvesk.exe", L"Tarvesk"},
        {L"Tarvesk.exe", L"Tarvesk"},
        {L"Tarvesk", L"Tarvesk"},
        {L"dir.v2\\Tarvesk", L"Tarvesk"},
        {L"a/game.tar.gz", L"game.tar"},
        {L".hidden", L""},
        {L"C:\\Games\\", L""},
        {L"", L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.path));
        EXPECT_EQ(FileStem(row.path), row.stem);
    }
}

TEST(ProcessNameMatches, IgnoresCaseAndExtension) {
    struct Row {
        const wchar_t* exeName;
        const wchar_t* processName;
        bool matches;
    };
    const Row rows[] = {
        {L"Tarvesk.exe", L"Tarvesk", true},
        {L"TARVESK.EXE", L"Tarvesk", true},
        {L"tarvesk.bin", L"Tarvesk", true},
        {L"Tarvesk", L"Tarvesk", true},
        {L"tArVeSk.", L"TARVESK", true},
        {L"Tarvesk.exe.bak", L"Tarvesk", false},
        {L"Tarvesk2.exe", L"Tarvesk", false},
        {L"Tarves.exe", L"Tarvesk", false},
        {L"OmbreltaLauncher.exe", L"Tarvesk", false},
        {L"", L"Tarvesk", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.exeName) + " / " + WideToUtf8(row.processName));
        EXPECT_EQ(ProcessNameMatches(row.exeName, row.processName), row.matches);
    }
}

TEST(EqualsIgnoringCase, ComparesWholeTextsOrdinally) {
    EXPECT_TRUE(EqualsIgnoringCase(L"abcXYZ09_", L"ABCxyz09_"));
    EXPECT_TRUE(EqualsIgnoringCase(L"", L""));
    EXPECT_FALSE(EqualsIgnoringCase(L"abc", L"abcd"));
    EXPECT_FALSE(EqualsIgnoringCase(L"abc", L"abd"));
    // '@' and '`' sit next to the letters; a bit trick instead of a case table would merge them.
    EXPECT_FALSE(EqualsIgnoringCase(L"@", L"`"));
}

TEST(GameCommand, CommandLineAndWorkingDirectoryForAFolder) {
    struct Row {
        const wchar_t* folder;
        const wchar_t* commandLine;
        const wchar_t* workingDirectory;
    };
    const Row rows[] = {
        {L"C:\\Games\\Ombrelta\\", L"\"C:\\Games\\Ombrelta\\Tarvesk.exe\" mossfield", L"C:\\Games\\Ombrelta"},
        {L"C:\\Program Files (x86)\\Ombrelta\\",
         L"\"C:\\Program Files (x86)\\Ombrelta\\Tarvesk.exe\" mossfield",
         L"C:\\Program Files (x86)\\Ombrelta"},
        {L"/home/user/ombrelta/", L"\"/home/user/ombrelta/Tarvesk.exe\" mossfield", L"/home/user/ombrelta"},
        {L"Z:\\no\\trailing", L"\"Z:\\no\\trailing\\Tarvesk.exe\" mossfield", L"Z:\\no\\trailing"},
        {L"", L"\"Tarvesk.exe\" mossfield", L"Tarvesk.exe"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.folder));
        std::wstring exePath = GetGameExePath(row.folder);
        EXPECT_EQ(BuildCommandLine(exePath, L"mossfield"), row.commandLine);
        EXPECT_EQ(WorkingDirectoryOf(exePath), row.workingDirectory);
    }
}

TEST(GameCommand, CommandLineKeepsArgumentsAsGiven) {
    EXPECT_EQ(BuildCommandLine(L"C:\\g.exe", L""), L"\"C:\\g.exe\" ");
    EXPECT_EQ(BuildCommandLine(L"C:\\g.exe", L"a \"b c\""), L"\"C:\\g.exe\" a \"b c\"");
}

TEST(GameCommand, WorkingDirectoryCutsAtTheLastSeparatorOfEitherKind) {
    EXPECT_EQ(WorkingDirectoryOf(L"C:\\a/b\\c.exe"), L"C:\\a/b");
    EXPECT_EQ(WorkingDirectoryOf(L"C:/a\\b/c.exe"), L"C:/a\\b");
    EXPECT_EQ(WorkingDirectoryOf(L"\\c.exe"), L"");
}

}  // namespace
}  // namespace ombrelta
