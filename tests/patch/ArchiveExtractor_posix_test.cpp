// A running program cannot be written over natively either (ETXTBSY); it is moved aside.
#include "patch/ArchiveExtractor.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "common/FileSystem.h"
#include "common/Text.h"
#include "patch/MovedAside.h"
#include "tests/patch/ZipTestSupport.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::FileExists;
using test::FixturePath;
using test::ReadFileBytes;
using test::TempDir;

TEST(ExtractArchive, RunningProgramIsMovedAsideAndPutBackWhenItsReplacementFails) {
    struct Row {
        const wchar_t* archive;
        const wchar_t* entry;  // a file of the archive that is here a running copy of sleep
        const char* newBytes;  // null: the entry fails its CRC check
    };
    const Row rows[] = {
        {L"infozip.zip", L"readme.txt", "version 1\n"},
        {L"version-upper-badcrc.zip", L"two\\two.txt", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.archive));
        TempDir tmp;
        const std::wstring program = tmp.Child(row.entry);
        std::filesystem::create_directories(ToNativePath(program).parent_path());
        std::filesystem::copy_file("/bin/sleep", ToNativePath(program));
        const std::string programBytes = ReadFileBytes(program);
        const std::string programPath = ToNativePath(program).string();
        char* const argv[] = {const_cast<char*>(programPath.c_str()), const_cast<char*>("30"), nullptr};
        pid_t child = 0;
        // posix_spawn returns once the child runs the program, so the file is busy from here on.
        ASSERT_EQ(posix_spawn(&child, programPath.c_str(), nullptr, nullptr, argv, environ), 0);
        EXPECT_TRUE(IsFileInUse(program));

        std::vector<std::wstring> movedAside;
        const bool extracted = ExtractArchive(FixturePath(row.archive), tmp.Path(), &movedAside);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        EXPECT_EQ(extracted, row.newBytes != nullptr);
        if (row.newBytes != nullptr) {
            EXPECT_EQ(ReadFileBytes(program), row.newBytes);
            EXPECT_TRUE(ReadFileBytes(MovedAsideName(program)) == programBytes);
            EXPECT_EQ(movedAside, std::vector<std::wstring>{row.entry});
        } else {
            // A failed replacement puts the old program back.
            EXPECT_TRUE(ReadFileBytes(program) == programBytes);
            EXPECT_FALSE(FileExists(MovedAsideName(program)));
            EXPECT_TRUE(movedAside.empty());
        }
        EXPECT_FALSE(IsFileInUse(program));
    }
}

}  // namespace
}  // namespace ombrelta
