// A running program cannot be written over natively either (ETXTBSY); it is moved aside.
#include "patch/ArchiveExtractor.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "common/FileSystem.h"
#include "tests/patch/ZipTestSupport.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::FixturePath;
using test::ReadFileBytes;
using test::TempDir;

TEST(ExtractArchive, RunningProgramIsMovedAsideAndReplaced) {
    TempDir tmp;
    // infozip.zip carries readme.txt; here that name is a running copy of sleep.
    const std::wstring program = tmp.Child(L"readme.txt");
    std::filesystem::copy_file("/bin/sleep", ToNativePath(program));
    const std::string programBytes = ReadFileBytes(program);
    const std::string programPath = ToNativePath(program).string();
    char* const argv[] = {const_cast<char*>(programPath.c_str()), const_cast<char*>("30"), nullptr};
    pid_t child = 0;
    // posix_spawn returns once the child runs the program, so the file is busy from here on.
    ASSERT_EQ(posix_spawn(&child, programPath.c_str(), nullptr, nullptr, argv, environ), 0);
    EXPECT_TRUE(IsFileInUse(program));

    const bool extracted = ExtractArchive(FixturePath(L"infozip.zip"), tmp.path());
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    ASSERT_TRUE(extracted);
    EXPECT_EQ(ReadFileBytes(program), "version 1\n");
    EXPECT_TRUE(ReadFileBytes(tmp.Child(L"readme.txt.old")) == programBytes);
    EXPECT_FALSE(IsFileInUse(program));
}

}  // namespace
}  // namespace ombrelta
