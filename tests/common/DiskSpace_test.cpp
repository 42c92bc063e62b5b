#include "common/DiskSpace.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Path.h"
#include "common/Text.h"
#include "tests/support/FreeSpaceStub.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::FreeSpaceStub;
using test::TempDir;
using test::WorkingDirectory;

TEST(DiskSpaceTest, TheSystemKnowsTheSpaceOfATemporaryDirectory) {
    TempDir dir;
    EXPECT_TRUE(QuerySystemFreeSpace(dir.Path()).has_value());
    EXPECT_FALSE(QuerySystemFreeSpace(dir.Child(L"missing")).has_value());
    // A relative path in a directory yet to be made is asked of the working directory.
    WorkingDirectory cwd(dir.Path());
    EXPECT_TRUE(FreeDiskSpace(L"data\\new/file.pak").has_value());
}

TEST(DiskSpaceTest, AsksTheNearestExistingDirectory) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    ASSERT_TRUE(CreateDirectories(dir.Child(L"data")));
    struct Row {
        std::wstring path;
        std::wstring asked;
    };
    const std::vector<Row> rows = {
        {L"file.pak", L"."},
        {L"data/file.pak", L"data/"},
        {L"data\\new\\deeper/file.pak", L"data\\"},
        {L"missing/file.pak", L"."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.path));
        FreeSpaceStub stub(5);
        EXPECT_EQ(FreeDiskSpace(row.path), std::optional<std::uint64_t>(5));
        EXPECT_EQ(stub.asked, std::vector<std::wstring>{row.asked});
    }
}

TEST(DiskSpaceTest, FitsCountsReclaimedBytesAndTrustsAnUnknownVolume) {
    TempDir dir;
    struct Row {
        const char* name;
        std::uint64_t free;
        std::uint64_t needed;
        std::uint64_t reclaimed;
        bool fits;
    };
    const std::vector<Row> rows = {
        {"exactly the free space", 100, 100, 0, true},
        {"one byte more", 100, 101, 0, false},
        {"the rest reclaimed", 100, 150, 50, true},
        {"not quite reclaimed", 100, 151, 50, false},
        {"nothing free", 0, 1, 0, false},
        {"an empty file on a full disk", 0, 0, 0, true},
        {"sizes past 4 GiB", 5000000000, 9000000000, 4000000000, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FreeSpaceStub stub(row.free);
        EXPECT_EQ(DiskSpaceFits(dir.Child(L"f.bin"), row.needed, row.reclaimed), row.fits);
    }
    SetFreeSpaceQuery([](const std::wstring&) { return std::nullopt; });
    EXPECT_TRUE(DiskSpaceFits(dir.Child(L"f.bin"), UINT64_MAX, 0));
    SetFreeSpaceQuery({});
}

}  // namespace
}  // namespace ombrelta
