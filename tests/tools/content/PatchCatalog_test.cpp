#include "tools/content/PatchCatalog.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

// The version of each archive is the one the launcher finds after extracting it, whichever
// spelling of the root "version.dat" the archive uses.
TEST(PatchCatalog, ReadsTheVersionWhereTheLauncherFindsIt) {
    struct Row {
        const wchar_t* fixture;
        std::uint16_t version;
    };
    const Row rows[] = {
        {L"python-deflate.zip", 7},  // "version.dat"
        {L"version-upper.zip", 12},  // "VERSION.DAT"
        {L"version-dotted.zip", 4},  // "./version.dat"
    };
    test::TempDir dir;
    for (const Row& row : rows) {
        const std::string bytes = test::ReadFileBytes(test::TestDataDir() + L"../../patch/fixtures/" + row.fixture);
        ASSERT_FALSE(bytes.empty());
        test::WriteFileBytes(dir.Child(row.fixture), bytes);
    }
    ContentProblems problems;
    const PatchCatalog catalog = PatchCatalog::Load(std::filesystem::path(dir.Path()), problems);
    EXPECT_TRUE(problems.empty()) << (problems.empty() ? "" : problems.front());
    EXPECT_EQ(catalog.Count(), std::size(rows));
    for (const Row& row : rows) {
        SCOPED_TRACE(std::filesystem::path(row.fixture).string());
        const PatchArchive* patch = catalog.Find(row.version);
        ASSERT_NE(patch, nullptr);
        EXPECT_EQ(std::filesystem::path(patch->fileName), std::filesystem::path(row.fixture));
    }
}

}  // namespace
}  // namespace ombrelta
