#include "service/LauncherService.h"

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "common/FileSystem.h"
#include "config/LauncherConfig.h"
#include "protocol/MessageCodes.h"
#include "tests/support/FakeLauncherServer.h"
#include "tests/support/ReportLog.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::Reply;

bool ServerSawChunkAt(const test::FakeLauncherServer& server, std::uint32_t offset) {
    for (const Bytes& request : server.RequestPayloads()) {
        if (test::RequestCode(request) == HASH_DATA && test::U32At(request, 6) == offset)
            return true;
    }
    return false;
}

// The window closes the connection while a worker is in the middle of a download, with chunk
// requests sent ahead or not: the worker's verification fails cleanly and the partly written file
// stays for the next check.
TEST(LauncherServiceThreads, CloseFromAnotherThreadEndsADownloadCleanly) {
    for (const char* configLine : {"", "pipeline=16\n"}) {
        SCOPED_TRACE(configLine);
        test::TempDir dir;
        test::WorkingDirectory cwd(dir.Path());
        test::FakeLauncherServer server({}, {test::ListedFile(1, "big.bin", std::string(100000, 'b'))});
        constexpr std::uint32_t kStallAt = 5000;
        server.SetIntercept([](const Bytes& request) -> std::optional<Reply> {
            if (test::RequestCode(request) == HASH_DATA && test::U32At(request, 6) == kStallAt)
                return Reply::Stall();
            return std::nullopt;
        });
        std::string config = "host=127.0.0.1\nport=" + std::to_string(server.Port()) + "\n" + configLine;
        std::vector<std::uint8_t> bytes(config.begin(), config.end());
        ScrambleConfig(bytes);
        test::WriteFileBytes(dir.Child(L"Ombrel.dat"), std::string(bytes.begin(), bytes.end()));

        LauncherService service(dir.Path());
        ASSERT_TRUE(service.LoadConfig());
        test::ReportLog log;
        bool verified = true;
        std::thread worker([&] { verified = service.VerifyBeforeStart(log.Bind()); });

        // Every answer before the stall has been written, so the worker waits for the stalled one.
        for (int i = 0; i < 500 && !(ServerSawChunkAt(server, kStallAt) &&
                                     GetFileSize(dir.Child(L"big.bin")).value_or(0) == kStallAt);
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        service.Api().Close();
        worker.join();

        EXPECT_FALSE(verified);
        ASSERT_FALSE(log.calls.empty());
        EXPECT_EQ(log.calls.back(),
                  (test::ReportLog::Report{"Connection or file check failed: Empty hash file chunk response.", 0}));
        EXPECT_EQ(test::ReadFileBytes(dir.Child(L"big.bin")), std::string(kStallAt, 'b'));
        EXPECT_FALSE(service.Api().IsConnected());
    }
}

}  // namespace
}  // namespace ombrelta
