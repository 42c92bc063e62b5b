#include "service/LauncherService.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Socket.h"
#include "common/Path.h"
#include "config/LauncherConfig.h"
#include "config/LocalVersion.h"
#include "protocol/MessageCodes.h"
#include "tests/support/FakeLauncherServer.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/ReportLog.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::FakeLauncherServer;
using test::ListedFile;
using test::ReportLog;
using test::Reply;
using test::TempDir;
using test::WorkingDirectory;
using test::WriteFileBytes;
using Reports = std::vector<ReportLog::Report>;

void WriteConfig(const std::wstring& dir, const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    ScrambleConfig(bytes);
    WriteFileBytes(dir + L"Ombrel.dat", std::string(bytes.begin(), bytes.end()));
}

// A port on 127.0.0.1 where nothing listens.
std::uint16_t ClosedPort() {
    SocketHandle listener = kInvalidSocket;
    std::optional<std::uint16_t> port = ListenOnLoopback(listener);
    EXPECT_TRUE(port.has_value());
    ShutdownAndClose(listener);
    return port.value_or(1);
}

// A service configured for a port, working in its own folder (game files and Ombrel.dat there).
class LauncherServiceTest : public ::testing::Test {
protected:
    void Configure(std::uint16_t port) {
        WriteConfig(dir.Path(), "host=127.0.0.1\nport=" + std::to_string(port) + "\n");
        ASSERT_TRUE(service.LoadConfig());
    }

    TempDir dir;
    WorkingDirectory cwd{dir.Path()};
    LauncherService service{dir.Path()};
    ReportLog log;
};

TEST_F(LauncherServiceTest, StartupChecksReportEveryStageAndEndWithReady) {
    FakeLauncherServer server({}, {ListedFile(1, "a.txt", "alpha"), ListedFile(2, "d/b.txt", "beta")});
    Configure(server.Port());
    WriteFileBytes(dir.Child(L"a.txt"), "alpha");
    std::string errorText = "left over";

    EXPECT_TRUE(service.RunStartupChecks(errorText, log.Bind()));

    EXPECT_EQ(errorText, "");
    EXPECT_EQ(log.calls, (Reports{{"Checking patches...", 20},
                                  {"Checking patch version 0", 5},
                                  {"No patches found.", 10},
                                  {"Patch check finished.", 100},
                                  {"Checking game files...", 70},
                                  {"Checking a.txt", 50},
                                  {"Repairing d\\b.txt", 0},
                                  {"Repairing d\\b.txt", 100},
                                  {"Checking d\\b.txt", 100},
                                  {"Ready.", 100}}));
    EXPECT_EQ(test::ReadFileBytes(dir.Child(L"d/b.txt")), "beta");
}

TEST_F(LauncherServiceTest, VerificationBeforeStartOpensASecondConnection) {
    FakeLauncherServer server({}, {ListedFile(1, "a.txt", "alpha")});
    Configure(server.Port());
    WriteFileBytes(dir.Child(L"a.txt"), "alpha");
    std::string errorText;
    ASSERT_TRUE(service.RunStartupChecks(errorText, nullptr));

    EXPECT_TRUE(service.VerifyBeforeStart(log.Bind()));

    EXPECT_EQ(log.calls, (Reports{{"Connecting to launcher server...", 0},
                                  {"Checking files before start...", 10},
                                  {"Checking a.txt", 100},
                                  {"Files checked successfully.", 100}}));
    const std::vector<test::ServedConnection> connections = server.Connections();
    ASSERT_EQ(connections.size(), 2u);
    EXPECT_TRUE(connections[0].peerClosed);
}

// Game files stay in the working directory; the cache goes to the launcher's own folder, and
// only when the key asks for it.
TEST_F(LauncherServiceTest, VerifiedFileCacheOnlyWithTheKey) {
    struct Row {
        const char* option;
        bool cached;
    };
    for (const Row& row : {Row{"", false}, Row{"hashcache=0\n", false}, Row{"hashcache=1\n", true}}) {
        SCOPED_TRACE(row.option);
        FakeLauncherServer server({}, {ListedFile(1, "a.txt", "alpha")});
        WriteConfig(dir.Path(), "host=127.0.0.1\nport=" + std::to_string(server.Port()) + "\n" + row.option);
        TempDir install;
        LauncherService launcher(install.Path());
        ASSERT_TRUE(launcher.LoadConfig());
        WriteFileBytes(dir.Child(L"a.txt"), "alpha");
        std::string errorText;
        log.calls.clear();

        EXPECT_TRUE(launcher.RunStartupChecks(errorText, nullptr));
        EXPECT_TRUE(launcher.VerifyBeforeStart(log.Bind()));

        EXPECT_EQ(log.calls, (Reports{{"Connecting to launcher server...", 0},
                                      {"Checking files before start...", 10},
                                      {"Checking a.txt", 100},
                                      {"Files checked successfully.", 100}}));
        EXPECT_EQ(test::FileExists(install.Child(L"_verify_cache")), row.cached);
        for (const std::wstring& folder : {install.Path(), dir.Path()}) {
            EXPECT_FALSE(test::FileExists(folder + L"_verify_cache.tmp"));
        }
        EXPECT_FALSE(test::FileExists(dir.Child(L"_verify_cache")));
    }
}

TEST_F(LauncherServiceTest, UnreachableServer) {
    Configure(ClosedPort());
    std::string errorText;
    EXPECT_FALSE(service.RunStartupChecks(errorText, log.Bind()));
    EXPECT_EQ(errorText, "Failed to connect to launcher server.");
    EXPECT_TRUE(log.calls.empty());

    EXPECT_FALSE(service.VerifyBeforeStart(log.Bind()));
    EXPECT_EQ(log.calls, (Reports{{"Connecting to launcher server...", 0},
                                  {"Failed to connect to launcher server.", 0}}));
}

TEST_F(LauncherServiceTest, HashListFailureEndsBothSequencesWithItsText) {
    FakeLauncherServer server({}, {});
    server.SetIntercept([](const Bytes& request) -> std::optional<Reply> {
        if (test::RequestCode(request) == HASH_LIST_REQUEST)
            return Reply::Payload(test::PayloadBuilder().U16(GET_PATCH_CHUNK).Take());
        return std::nullopt;
    });
    Configure(server.Port());

    std::string errorText;
    EXPECT_FALSE(service.RunStartupChecks(errorText, log.Bind()));
    EXPECT_EQ(errorText, "Invalid hash response.");
    EXPECT_EQ(log.calls.back(), (ReportLog::Report{"Checking game files...", 70}));

    log.calls.clear();
    EXPECT_FALSE(service.VerifyBeforeStart(log.Bind()));
    EXPECT_EQ(log.calls.back(),
              (ReportLog::Report{"Connection or file check failed: Invalid hash response.", 0}));
}

TEST_F(LauncherServiceTest, FailedPatchUpdate) {
    FakeLauncherServer server({{1, "p1.zip", "not a zip archive", std::nullopt}}, {});
    Configure(server.Port());
    std::string errorText;
    EXPECT_FALSE(service.RunStartupChecks(errorText, log.Bind()));
    EXPECT_EQ(errorText, "Patch update failed.");
    EXPECT_EQ(log.calls.back(), (ReportLog::Report{"Extracting patch...", 70}));
}

TEST_F(LauncherServiceTest, EmptyCallbackGivesTheSameResults) {
    FakeLauncherServer server({}, {ListedFile(1, "a.txt", "alpha")});
    Configure(server.Port());
    std::string errorText;
    EXPECT_TRUE(service.RunStartupChecks(errorText, nullptr));
    EXPECT_EQ(test::ReadFileBytes(dir.Child(L"a.txt")), "alpha");
    EXPECT_TRUE(service.VerifyBeforeStart(nullptr));
}

TEST_F(LauncherServiceTest, ExceptionFromTheCallbackIsAFailure) {
    FakeLauncherServer server({}, {});
    Configure(server.Port());
    auto throwing = [](const std::wstring&, std::int32_t) {
        throw std::runtime_error("no memory for the report");
    };
    std::string errorText;
    EXPECT_FALSE(service.RunStartupChecks(errorText, throwing));
    EXPECT_EQ(errorText, "no memory for the report");
    EXPECT_FALSE(service.VerifyBeforeStart(throwing));
}

// The pipeline key reaches both downloads: the patch's chunk requests ask ahead of the answers
// (at 200, after a first chunk of 100 bytes), and a repaired file is checked against its digest.
// With it the list goes along with each patch question, and the last one's is used.
TEST_F(LauncherServiceTest, PipelineKeyReachesBothDownloads) {
    struct Row {
        const char* configLine;
        bool askedAhead;
        const char* errorText;
        std::vector<std::uint16_t> questions;  // the requests other than chunks, in order
    };
    const char* differs = "Downloaded file differs from the server's list: b.txt";
    const std::vector<std::uint16_t> alone = {HAS_NEXT_PATCH, GET_NEXT_PATCH, HAS_NEXT_PATCH, HASH_LIST_REQUEST};
    const std::vector<std::uint16_t> together = {HAS_NEXT_PATCH, HASH_LIST_REQUEST, GET_NEXT_PATCH, HAS_NEXT_PATCH,
                                                 HASH_LIST_REQUEST};
    for (Row row : {Row{"", false, "", alone}, Row{"pipeline=16\n", true, differs, together},
                    Row{"pipeline=auto\n", true, differs, together}}) {
        SCOPED_TRACE(row.configLine);
        const std::string archive = test::ReadFileBytes(test::TestDataDir() + L"../patch/patches/patch1.zip");
        FakeLauncherServer::GameFile listed = ListedFile(1, "b.txt", "beta");
        listed.hash = std::string(32, 'f');
        FakeLauncherServer server({{1, "patch1.zip", archive, std::nullopt}}, {listed});
        server.SetIntercept([&archive](const Bytes& request) -> std::optional<Reply> {
            if (test::RequestCode(request) != GET_PATCH_CHUNK)
                return std::nullopt;
            const std::uint32_t offset = test::U32At(request, 4);
            const std::string piece = archive.substr(std::min<std::size_t>(offset, archive.size()), offset == 0 ? 100 : 1000);
            return Reply::Payload(test::PayloadBuilder().U16(GET_PATCH_CHUNK).U32(offset + piece.size() == archive.size())
                                      .U32(static_cast<std::uint32_t>(piece.size())).Raw(piece).Take());
        });
        WriteConfig(dir.Path(),
                    "host=127.0.0.1\nport=" + std::to_string(server.Port()) + "\n" + row.configLine);
        ASSERT_TRUE(service.LoadConfig());
        std::string errorText;

        EXPECT_EQ(service.RunStartupChecks(errorText, nullptr), *row.errorText == '\0');

        EXPECT_EQ(errorText, row.errorText);
        EXPECT_EQ(ReadLocalVersion(dir.Path(), L"version.dat"), 1);
        bool askedAhead = false;
        std::vector<std::uint16_t> questions;
        for (const Bytes& request : server.RequestPayloads()) {
            const std::uint16_t code = test::RequestCode(request);
            askedAhead |= code == GET_PATCH_CHUNK && test::U32At(request, 4) == 200;
            if (code != GET_PATCH_CHUNK && code != HASH_DATA)
                questions.push_back(code);
        }
        EXPECT_EQ(askedAhead, row.askedAhead);
        EXPECT_EQ(questions, row.questions);
        WriteFileBytes(dir.Child(L"version.dat"), "0\n");
    }
}

TEST_F(LauncherServiceTest, LoadConfigReadsTheWorkingDirectory) {
    WriteConfig(dir.Path(), "HOST = 10.1.2.3\nport=70000\ndiscord=d\n");
    ASSERT_TRUE(service.LoadConfig());
    EXPECT_EQ(service.Config().host, L"10.1.2.3");
    EXPECT_EQ(service.Config().port, 70000);
    EXPECT_EQ(service.Config().discord, L"d");
}

TEST_F(LauncherServiceTest, LoadConfigFailureKeepsTheDefaults) {
    LauncherService fresh(dir.Path());
    EXPECT_FALSE(fresh.LoadConfig());
    EXPECT_EQ(fresh.Config().host, L"");
    EXPECT_EQ(fresh.Config().port, 0);
    WriteFileBytes(dir.Child(L"Ombrel.dat"), "");
    EXPECT_FALSE(fresh.LoadConfig());
}

TEST(LauncherServiceFolders, WithoutAFolderTheProgramsOwnIsUsed) {
    EXPECT_EQ(LauncherService().InstallDir(), GetExecutableDirectory());
    EXPECT_EQ(GetGameExePath(), GetExecutableDirectory() + L"Tarvesk.exe");
    EXPECT_EQ(ReadLocalVersion(L"no-such-version-file.dat"), 0);
}

}  // namespace
}  // namespace ombrelta
