#include "patch/PatchService.h"

#include <atomic>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/Base64.h"
#include "common/Text.h"
#include "patch/DeltaHeader.h"
#include "protocol/MessageCodes.h"
#include "tests/patch/ZipTestSupport.h"
#include "tests/support/FakeLauncherServer.h"
#include "tests/support/FreeSpaceStub.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::FakeLauncherServer;
using test::FileExists;
using test::PayloadBuilder;
using test::ReadFileBytes;
using test::Reply;
using test::TempDir;
using test::U16At;
using test::U32At;
using test::WriteFileBytes;

using Reports = std::vector<std::pair<std::string, std::int32_t>>;

std::string Fixture(const std::wstring& name) {
    return ReadFileBytes(test::TestDataDir() + name);
}

FakeLauncherServer::Patch PatchFromFixture(std::uint16_t version, const std::wstring& name) {
    return {version, "patch" + std::to_string(version) + ".zip", Fixture(name), std::nullopt};
}

class PatchServiceTest : public ::testing::Test {
protected:
    // Runs one ApplyPatches against the server with a fresh connection, recording the reports.
    bool Apply(FakeLauncherServer& server) {
        LauncherApi api;
        EXPECT_TRUE(api.Connect(server.Host(), server.Port()));
        reports.clear();
        PatchService service(install.Path());
        return service.ApplyPatches(api, [this](const std::wstring& text, std::int32_t percent) {
            reports.emplace_back(WideToUtf8(text), percent);
        });
    }
    std::size_t Count(const FakeLauncherServer& server, std::uint16_t code) const {
        std::size_t n = 0;
        for (std::uint16_t c : server.RequestCodes())
            n += c == code ? 1 : 0;
        return n;
    }

    TempDir install;
    Reports reports;
};

TEST_F(PatchServiceTest, NoPatchGivesExactlyThreeReports) {
    FakeLauncherServer server({}, {});
    EXPECT_TRUE(Apply(server));
    EXPECT_EQ(reports, (Reports{{"Checking patch version 0", 5},
                                {"No patches found.", 10},
                                {"Patch check finished.", 100}}));
    // No version.dat: the server is asked about version 0 with the fixed identity texts.
    const Bytes expected = PayloadBuilder().U16(HAS_NEXT_PATCH).U16(0).Str("UNKNOWN").Str("UNKNOWN").Take();
    EXPECT_EQ(server.RequestPayloads(), std::vector<Bytes>{expected});
}

TEST_F(PatchServiceTest, InstallsThreePatchesInThreePasses) {
    FakeLauncherServer server(
        {PatchFromFixture(1, L"patches/patch1.zip"), PatchFromFixture(2, L"patches/patch2.zip"),
         PatchFromFixture(3, L"patches/patch3.zip")},
        {}, 100);
    ASSERT_TRUE(Apply(server));

    EXPECT_EQ(Count(server, HAS_NEXT_PATCH), 4u);
    EXPECT_EQ(ReadFileBytes(install.Child(L"version.dat")), "3\r\n");
    EXPECT_TRUE(FileExists(install.Child(L"data/a.bin")));
    EXPECT_TRUE(FileExists(install.Child(L"b.txt")));
    EXPECT_TRUE(FileExists(install.Child(L"data/c.bin")));
    EXPECT_FALSE(FileExists(install.Child(L"_patch_temp")));

    const Reports firstPass = {{"Checking patch version 0", 5},
                               {"Server has next patch.", 10},
                               {"Getting next patch info...", 15},
                               {"Patch found: 1", 20}};
    ASSERT_GT(reports.size(), firstPass.size());
    EXPECT_EQ(Reports(reports.begin(), reports.begin() + 4), firstPass);
    std::vector<std::string> passEnds;
    for (const auto& [text, percent] : reports) {
        if (text.ends_with(" installed."))
            passEnds.push_back(text + " " + std::to_string(percent));
    }
    EXPECT_EQ(passEnds, (std::vector<std::string>{"Patch 1 installed. 100", "Patch 2 installed. 100",
                                                  "Patch 3 installed. 100"}));
    EXPECT_EQ(reports.back(), (std::pair<std::string, std::int32_t>{"Patch check finished.", 100}));
}

// Answers the chunk requests of a 1000-byte archive with chunks of 300, 300 and then lastSize.
FakeLauncherServer::Intercept ChunksOf300(std::size_t lastSize) {
    return [lastSize](const Bytes& request) -> std::optional<Reply> {
        if (test::RequestCode(request) != GET_PATCH_CHUNK)
            return std::nullopt;
        const std::uint32_t offset = U32At(request, 4);
        const std::size_t size = offset < 600 ? 300 : lastSize;
        return Reply::Payload(PayloadBuilder()
                                  .U16(GET_PATCH_CHUNK)
                                  .U32(offset < 600 ? 0 : 1)
                                  .U32(size)
                                  .Raw(std::string(size, 'z'))
                                  .Take());
    };
}

TEST_F(PatchServiceTest, DownloadReportsItsShareOfTheBar) {
    struct Row {
        std::size_t lastChunk;
        bool extracted;  // the download succeeded and extraction of the junk archive was tried
    };
    for (Row row : {Row{400, true}, Row{401, false}}) {
        SCOPED_TRACE(row.lastChunk);
        TempDir dir;
        FakeLauncherServer server({{1, "p.zip", std::string(1000, 'z'), 1000}}, {});
        server.SetIntercept(ChunksOf300(row.lastChunk));
        LauncherApi api;
        ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
        Reports seen;
        PatchService service(dir.Path());
        EXPECT_FALSE(service.ApplyPatches(api, [&](const std::wstring& text, std::int32_t percent) {
            seen.emplace_back(WideToUtf8(text), percent);
        }));

        Reports downloads;
        for (const auto& report : seen) {
            if (report.first == "Downloading patch 1")
                downloads.push_back(report);
        }
        EXPECT_EQ(
            downloads,
            (Reports{{"Downloading patch 1", 37}, {"Downloading patch 1", 49}, {"Downloading patch 1", 65}}));
        EXPECT_EQ(seen.back().first, row.extracted ? "Extracting patch..." : "Downloading patch 1");
        EXPECT_EQ(FileExists(dir.Child(L"_patch_temp/p.zip")), row.extracted);
        EXPECT_FALSE(FileExists(dir.Child(L"_patch_temp/p.zip.download")));
    }
}

TEST_F(PatchServiceTest, ChunkFailureMidDownloadReturnsFalseWithoutLeftovers) {
    FakeLauncherServer server({PatchFromFixture(1, L"patches/patch1.zip")}, {}, 100);
    server.SetIntercept([](const Bytes& request) -> std::optional<Reply> {
        if (test::RequestCode(request) == GET_PATCH_CHUNK && U32At(request, 4) > 0)
            return Reply::Close();
        return std::nullopt;
    });
    EXPECT_FALSE(Apply(server));
    EXPECT_EQ(reports.back().first, "Downloading patch 1");
    EXPECT_FALSE(FileExists(install.Child(L"_patch_temp/patch1.zip.download")));
    EXPECT_FALSE(FileExists(install.Child(L"_patch_temp/patch1.zip")));
}

TEST_F(PatchServiceTest, UnconfirmedPatchKeepsItsExtractedFilesAndItsArchive) {
    struct Row {
        const wchar_t* fixture;
        const wchar_t* extractedFile;
        const char* versionAfter;  // the other number stays, and the server is asked after it next time
    };
    for (Row row : {Row{L"patches/noversion.zip", L"x.txt", nullptr},
                    Row{L"patches/wrongversion.zip", L"y.txt", "7\r\n"}}) {
        SCOPED_TRACE(WideToUtf8(row.fixture));
        TempDir dir;
        FakeLauncherServer server({PatchFromFixture(1, row.fixture)}, {});
        LauncherApi api;
        ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
        EXPECT_FALSE(PatchService(dir.Path()).ApplyPatches(api, nullptr));
        EXPECT_TRUE(FileExists(dir.Child(row.extractedFile)));
        EXPECT_TRUE(FileExists(dir.Child(L"_patch_temp/patch1.zip")));
        EXPECT_EQ(FileExists(dir.Child(L"version.dat")), row.versionAfter != nullptr);
        if (row.versionAfter) {
            EXPECT_EQ(ReadFileBytes(dir.Child(L"version.dat")), row.versionAfter);
        }
    }
}

TEST_F(PatchServiceTest, PatchWithoutVersionFileIsDownloadedAgainNextTime) {
    FakeLauncherServer server({PatchFromFixture(1, L"patches/noversion.zip")}, {});
    EXPECT_FALSE(Apply(server));
    EXPECT_FALSE(Apply(server));
    EXPECT_EQ(Count(server, GET_NEXT_PATCH), 2u);
    EXPECT_EQ(Count(server, GET_PATCH_CHUNK), 2u);
    for (const Bytes& request : server.RequestPayloads()) {
        if (test::RequestCode(request) == GET_NEXT_PATCH) {
            EXPECT_EQ(U16At(request, 2), 0);
        }
    }
}

TEST_F(PatchServiceTest, HalfInstalledPatchIsNotMarkedDone) {
    // The archive's first entry is "version.dat", its third one is refused.
    FakeLauncherServer server({{9, "p9.zip", Fixture(L"fixtures/version-first-refused.zip"), std::nullopt}},
                              {});
    WriteFileBytes(install.Child(L"version.dat"), "5\n");
    EXPECT_FALSE(Apply(server));
    EXPECT_TRUE(FileExists(install.Child(L"one.txt")));
    EXPECT_EQ(ReadFileBytes(install.Child(L"version.dat")), "5\n");

    EXPECT_FALSE(Apply(server));
    EXPECT_EQ(Count(server, GET_PATCH_CHUNK), 2u);
    for (const Bytes& request : server.RequestPayloads()) {
        if (test::RequestCode(request) == GET_NEXT_PATCH) {
            EXPECT_EQ(U16At(request, 2), 5);
        }
    }
}

TEST_F(PatchServiceTest, ArchiveNamesThatAreNotPlainFileNamesAreRefusedBeforeDownloading) {
    // Devices, names Windows trims and control characters end the loop as a separator does.
    for (const char* name : {"", ".", "..", "a/b.zip", "a\\b.zip", "../p.zip", "C:p.zip", "\\\\server\\p.zip",
                             "CON.zip", "patch.zip.", "a\x01.zip"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        FakeLauncherServer server({{1, name, Fixture(L"patches/patch1.zip"), std::nullopt}}, {});
        LauncherApi api;
        ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
        Reports seen;
        EXPECT_FALSE(PatchService(dir.Path())
                         .ApplyPatches(api, [&seen](const std::wstring& text, std::int32_t percent) {
                             seen.emplace_back(WideToUtf8(text), percent);
                         }));
        EXPECT_EQ(Count(server, GET_PATCH_CHUNK), 0u);
        EXPECT_EQ(seen.back(), (std::pair<std::string, std::int32_t>{"Getting next patch info...", 15}));
        EXPECT_FALSE(FileExists(dir.Child(L"_patch_temp")));
    }
}

TEST_F(PatchServiceTest, PatchOfTheAskedOrAnAlreadyInstalledVersionEndsTheRun) {
    // Offers 1, then 2, then 1 again: without the check this would go round for ever.
    FakeLauncherServer server(
        {PatchFromFixture(1, L"patches/patch1.zip"), PatchFromFixture(2, L"patches/patch2.zip")}, {});
    std::atomic<int> offers{0};
    server.SetIntercept([&offers](const Bytes& request) -> std::optional<Reply> {
        if (test::RequestCode(request) == HAS_NEXT_PATCH)
            return Reply::Payload(PayloadBuilder().U16(HAS_NEXT_PATCH).U8(1).Take());
        if (test::RequestCode(request) != GET_NEXT_PATCH)
            return std::nullopt;
        const std::uint16_t version = ++offers == 2 ? 2 : 1;
        return Reply::Payload(PayloadBuilder()
                                  .U16(GET_NEXT_PATCH)
                                  .U32(0)
                                  .U16(version)
                                  .U16(0)
                                  .U8(0)
                                  .Str("patch" + std::to_string(version) + ".zip")
                                  .U32(0)
                                  .Take());
    });
    EXPECT_FALSE(Apply(server));
    EXPECT_EQ(offers, 3);
    EXPECT_EQ(ReadFileBytes(install.Child(L"version.dat")), "2\r\n");
    EXPECT_EQ(reports.back(), (std::pair<std::string, std::int32_t>{"Getting next patch info...", 15}));

    // The server offering the version that is already installed.
    offers = 1;
    const std::size_t chunkRequests = Count(server, GET_PATCH_CHUNK);
    EXPECT_FALSE(Apply(server));
    EXPECT_EQ(Count(server, GET_PATCH_CHUNK), chunkRequests);
    EXPECT_EQ(reports.back(), (std::pair<std::string, std::int32_t>{"Getting next patch info...", 15}));
}

TEST_F(PatchServiceTest, EmptyCallbackChangesNothingButTheReports) {
    FakeLauncherServer server({PatchFromFixture(1, L"patches/patch1.zip")}, {});
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    EXPECT_TRUE(PatchService(install.Path()).ApplyPatches(api, nullptr));
    EXPECT_EQ(ReadFileBytes(install.Child(L"version.dat")), "1\r\n");
}

TEST_F(PatchServiceTest, WithAKeyOnlyASignedPatchIsInstalled) {
    // The public half of fixtures/signing-test-key.pem, which signed fixtures/signed.zip for version 5.
    const std::vector<std::uint8_t> key =
        DecodeBase64("BJVPNFJy9odHRuPOTj6ED7lf7A5AzDWGRvqUqvAgDe+UHHDLyN+AoITYxNtc403gb0fTgQwe/iB04qVRgR2o1Zs=").value();
    struct Row {
        const wchar_t* fixture;
        std::uint16_t version;
        std::optional<std::vector<std::uint8_t>> key;
        bool installed;
    };
    for (const Row& row : {Row{L"fixtures/signed.zip", 5, key, true}, Row{L"patches/wrongversion.zip", 7, key, false},
                           Row{L"fixtures/signed.zip", 5, std::vector<std::uint8_t>{}, false},
                           Row{L"patches/wrongversion.zip", 7, std::nullopt, true}}) {
        SCOPED_TRACE(WideToUtf8(row.fixture));
        TempDir dir;
        const FakeLauncherServer::Patch patch = PatchFromFixture(row.version, row.fixture);
        FakeLauncherServer server({patch}, {});
        LauncherApi api;
        ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
        Reports seen;
        const bool done = PatchService(dir.Path(), 1, false, row.key)
                              .ApplyPatches(api, [&](const std::wstring& text, std::int32_t percent) {
                                  seen.emplace_back(WideToUtf8(text), percent);
                              });
        EXPECT_EQ(done, row.installed);
        EXPECT_FALSE(FileExists(dir.Child(L"ombrelta.sig")));
        if (row.installed)
            continue;
        EXPECT_EQ(seen.back(), (std::pair<std::string, std::int32_t>{"Signature check failed: " + patch.fileName, 70}));
        EXPECT_FALSE(FileExists(dir.Child(L"version.dat")));
        EXPECT_FALSE(FileExists(dir.Child(L"y.txt")));
        EXPECT_FALSE(FileExists(dir.Child(L"readme.txt")));
    }
}

TEST_F(PatchServiceTest, APatchThatWouldNotFitFailsBeforeItsFirstChunk) {
    struct Row {
        const char* name;
        std::uint64_t free;
        std::size_t leftover;  // bytes of an earlier "p.zip.download"
        bool fits;
    };
    // 1005 bytes and a tenth more, rounded up: 1106.
    const std::vector<Row> rows = {
        {"room for the archive and a tenth", 1106, 0, true},
        {"one byte short", 1105, 0, false},
        {"a leftover download counts as free", 706, 400, true},
        {"a leftover download is not enough", 705, 400, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        if (row.leftover != 0)
            WriteFileBytes(dir.Child(L"_patch_temp/p.zip.download"), std::string(row.leftover, 'x'));
        test::FreeSpaceStub stub(row.free);
        FakeLauncherServer server({{1, "p.zip", std::string(1005, 'z'), std::nullopt}}, {});
        LauncherApi api;
        ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
        Reports seen;
        EXPECT_FALSE(PatchService(dir.Path()).ApplyPatches(api, [&](const std::wstring& text, std::int32_t percent) {
            seen.emplace_back(WideToUtf8(text), percent);
        }));
        std::size_t chunkRequests = 0;
        for (std::uint16_t code : server.RequestCodes())
            chunkRequests += code == GET_PATCH_CHUNK ? 1 : 0;
        if (row.fits) {
            // The bytes are no zip, so the run fails at the extraction, after the download.
            EXPECT_EQ(chunkRequests, 2u);
            EXPECT_EQ(seen.back().first, "Extracting patch...");
            continue;
        }
        EXPECT_EQ(chunkRequests, 0u);
        EXPECT_EQ(seen.back(), (std::pair<std::string, std::int32_t>{"Not enough disk space: p.zip", 20}));
        EXPECT_FALSE(FileExists(dir.Child(L"_patch_temp/p.zip")));
    }
}

// zstd's own name for what it found reaches the failure told to the events, and so the log.
TEST_F(PatchServiceTest, DamagedDeltaFailsNamingZstdsError) {
    std::string zip = test::FixtureBytes(L"delta.zip");
    test::ChangeStoredByte(zip, 0, kDeltaHeaderSize);
    WriteFileBytes(install.Child(L"data/game.pak"), test::FixtureBytes(L"delta-base.bin"));
    FakeLauncherServer server({{1, "patch1.zip", zip, std::nullopt}}, {});
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    PatchService service(install.Path(), 1, false, std::nullopt, true);
    std::vector<std::string> failures;
    service.Observe([&](const ProgressEvent& event) {
        if (event.kind == ProgressEventKind::Failed)
            failures.push_back(event.detail);
    });
    EXPECT_FALSE(service.ApplyPatches(api, nullptr));
    EXPECT_EQ(failures, std::vector<std::string>{"patch patch1.zip: zstd error Unknown frame descriptor; in entry "
                                                 "data\\game.pak.ombrelta-delta"});
    EXPECT_EQ(ReadFileBytes(install.Child(L"data/game.pak")), test::FixtureBytes(L"delta-base.bin"));
}

TEST_F(PatchServiceTest, RemovePatchTempKeepsAFolderThatHoldsAnotherFile) {
    WriteFileBytes(install.Child(L"_patch_temp/a.zip"), "a");
    WriteFileBytes(install.Child(L"_patch_temp/b.zip.download"), "b");
    PatchService service(install.Path());
    service.RemovePatchTemp(install.Child(L"_patch_temp/a.zip"));
    EXPECT_FALSE(FileExists(install.Child(L"_patch_temp/a.zip")));
    EXPECT_TRUE(FileExists(install.Child(L"_patch_temp/b.zip.download")));
}

}  // namespace
}  // namespace ombrelta
