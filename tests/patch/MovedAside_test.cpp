#include "patch/MovedAside.h"

#include <gtest/gtest.h>

#include "common/Path.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::FileExists;
using test::TempDir;
using test::WriteFileBytes;

TEST(MovedAside, RemovesOnlyWhatAnUpdateLeftBeside) {
    struct Row {
        const wchar_t* name;
        bool staysAfterCleanup;
    };
    const Row rows[] = {
        {L"OmbreltaLauncher.exe", true},
        {L"OmbreltaLauncher.exe.old", false},
        {L"game.dll", true},
        {L"game.dll.old", false},
        {L"notes.old", true},
        {L"save.OLD", true},
        {L"sub/inner.txt", true},
        {L"sub/inner.txt.old", true},
    };
    TempDir tmp;
    for (const Row& row : rows)
        WriteFileBytes(tmp.Child(row.name), "x");
    ASSERT_TRUE(CreateDirectories(tmp.Child(L"folder.old")));
    WriteFileBytes(tmp.Child(L"folder"), "beside a directory");

    RemoveMovedAside(tmp.Path());

    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
        EXPECT_EQ(FileExists(tmp.Child(row.name)), row.staysAfterCleanup);
    }
    EXPECT_TRUE(FileExists(tmp.Child(L"folder.old")));
    RemoveMovedAside(tmp.Child(L"missing/"));
}

}  // namespace
}  // namespace ombrelta
