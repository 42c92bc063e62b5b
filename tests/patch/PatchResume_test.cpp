#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "patch/PatchService.h"
#include "protocol/MessageCodes.h"
#include "tests/support/FakeLauncherServer.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::FakeLauncherServer;
using test::FileExists;
using test::ReadFileBytes;
using test::Reply;
using test::TempDir;
using test::U32At;
using test::WriteFileBytes;

constexpr std::size_t kChunk = 100;

std::string Patch1() {
    return ReadFileBytes(test::TestDataDir() + L"patches/patch1.zip");
}

std::string RecordOf(std::size_t size) {
    return "version=1\nsize=" + std::to_string(size) + "\nname=patch1.zip\n";
}

// The offsets of the patch chunk requests, in order.
std::vector<std::uint32_t> ChunkOffsets(const FakeLauncherServer& server) {
    std::vector<std::uint32_t> offsets;
    for (const Bytes& request : server.RequestPayloads()) {
        if (test::RequestCode(request) == GET_PATCH_CHUNK)
            offsets.push_back(U32At(request, 4));
    }
    return offsets;
}

bool Apply(FakeLauncherServer& server, const TempDir& install) {
    LauncherApi api;
    EXPECT_TRUE(api.Connect(server.Host(), server.Port()));
    return PatchService(install.Path(), 1, true).ApplyPatches(api, nullptr);
}

TEST(PatchResumeTest, InterruptedDownloadContinuesAtItsSizeNextTime) {
    TempDir install;
    const std::string archive = Patch1();
    ASSERT_GT(archive.size(), 3 * kChunk);
    FakeLauncherServer server({{1, "patch1.zip", archive, std::nullopt}}, {}, kChunk);
    bool cut = true;
    server.SetIntercept([&cut](const Bytes& request) -> std::optional<Reply> {
        if (cut && test::RequestCode(request) == GET_PATCH_CHUNK && U32At(request, 4) == 2 * kChunk)
            return Reply::Close();
        return std::nullopt;
    });
    EXPECT_FALSE(Apply(server, install));
    EXPECT_EQ(ReadFileBytes(install.Child(L"_patch_temp/patch1.zip.download")), archive.substr(0, 2 * kChunk));
    EXPECT_EQ(ReadFileBytes(install.Child(L"_patch_temp/patch1.zip.download.resume")), RecordOf(archive.size()));

    cut = false;
    ASSERT_TRUE(Apply(server, install));
    const std::vector<std::uint32_t> offsets = ChunkOffsets(server);
    ASSERT_GE(offsets.size(), 4u);
    EXPECT_EQ(offsets[3], 2 * kChunk);  // after 0, 100 and the cut 200
    EXPECT_EQ(ReadFileBytes(install.Child(L"version.dat")), "1\r\n");
    EXPECT_FALSE(FileExists(install.Child(L"_patch_temp")));
}

TEST(PatchResumeTest, PartialOfAnotherDownloadStartsAtZero) {
    struct Row {
        const char* what;
        std::string record;
        std::size_t partialSize;
    };
    const std::string archive = Patch1();
    const std::vector<Row> rows = {
        {"another size", RecordOf(archive.size() + 1), kChunk},
        {"no record", "", kChunk},
        {"larger than announced", RecordOf(archive.size()), archive.size() + 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir install;
        WriteFileBytes(install.Child(L"_patch_temp/patch1.zip.download"), std::string(row.partialSize, 'x'));
        if (!row.record.empty())
            WriteFileBytes(install.Child(L"_patch_temp/patch1.zip.download.resume"), row.record);
        FakeLauncherServer server({{1, "patch1.zip", archive, std::nullopt}}, {}, kChunk);
        ASSERT_TRUE(Apply(server, install));
        EXPECT_EQ(ChunkOffsets(server).front(), 0u);
        EXPECT_EQ(ReadFileBytes(install.Child(L"version.dat")), "1\r\n");
    }
}

TEST(PatchResumeTest, CorruptResumedPatchIsFetchedAgainFromZeroInTheSameRun) {
    TempDir install;
    const std::string archive = Patch1();
    WriteFileBytes(install.Child(L"_patch_temp/patch1.zip.download"), std::string(kChunk, 'x'));
    WriteFileBytes(install.Child(L"_patch_temp/patch1.zip.download.resume"), RecordOf(archive.size()));
    FakeLauncherServer server({{1, "patch1.zip", archive, std::nullopt}}, {}, kChunk);
    ASSERT_TRUE(Apply(server, install));
    const std::vector<std::uint32_t> offsets = ChunkOffsets(server);
    ASSERT_GE(offsets.size(), 2u);
    EXPECT_EQ(offsets.front(), kChunk);
    EXPECT_EQ(std::count(offsets.begin(), offsets.end(), 0u), 1);
    EXPECT_EQ(ReadFileBytes(install.Child(L"version.dat")), "1\r\n");
    EXPECT_FALSE(FileExists(install.Child(L"_patch_temp")));
}

}  // namespace
}  // namespace ombrelta
