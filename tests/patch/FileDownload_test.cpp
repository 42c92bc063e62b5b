#include "patch/FileDownload.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/ChunkChannels.h"
#include "protocol/MessageCodes.h"
#include "tests/support/FakeLauncherServer.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::FakeLauncherServer;
using test::FileExists;
using test::PayloadBuilder;
using test::Reply;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// Serves a fixed list of chunks and records the offsets asked for.
struct ScriptedFetcher {
    struct Chunk {
        std::string bytes;
        bool last = false;
    };
    explicit ScriptedFetcher(std::vector<Chunk> script) : chunks(std::move(script)) {}

    std::vector<Chunk> chunks;
    std::vector<std::uint32_t> offsets;

    ChunkFetcher Bind() {
        return [this](std::uint32_t offset, bool& last) {
            offsets.push_back(offset);
            if (offsets.size() > chunks.size())
                throw std::runtime_error("no more chunks");
            const Chunk& chunk = chunks[offsets.size() - 1];
            last = chunk.last;
            return std::vector<std::uint8_t>(chunk.bytes.begin(), chunk.bytes.end());
        };
    }
};

struct ProgressLog {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> calls;
    DownloadProgress Bind() {
        return [this](std::uint32_t written, std::uint32_t total) { calls.emplace_back(written, total); };
    }
};

TEST(DownloadToFile, WritesChunksInOrderAndRenamesIntoPlace) {
    TempDir dir;
    const std::wstring target = dir.Child(L"sub/dir/patch.zip");
    ScriptedFetcher fetcher(
        {{std::string(300, 'a')}, {std::string(300, 'b')}, {std::string(400, 'c'), true}});
    ProgressLog progress;

    ASSERT_TRUE(DownloadToFile(1000, target, fetcher.Bind(), progress.Bind()));

    EXPECT_EQ(fetcher.offsets, (std::vector<std::uint32_t>{0, 300, 600}));
    using Calls = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    EXPECT_EQ(progress.calls, (Calls{{300, 1000}, {600, 1000}, {1000, 1000}}));
    EXPECT_EQ(ReadFileBytes(target), std::string(300, 'a') + std::string(300, 'b') + std::string(400, 'c'));
    EXPECT_FALSE(FileExists(target + L".download"));
}

TEST(DownloadToFile, UnannouncedSizeAcceptsAnyLength) {
    TempDir dir;
    const std::wstring target = dir.Child(L"a.zip");
    ScriptedFetcher fetcher({{"xyz"}, {"", true}});
    ProgressLog progress;
    ASSERT_TRUE(DownloadToFile(0, target, fetcher.Bind(), progress.Bind()));
    EXPECT_EQ(ReadFileBytes(target), "xyz");
    // The empty final chunk is reported too.
    EXPECT_EQ(progress.calls.size(), 2u);
}

TEST(DownloadToFile, EmptyLastChunkFirst) {
    struct Row {
        std::uint32_t total;
        bool succeeds;
    };
    for (Row row : {Row{0, true}, Row{5, false}}) {
        SCOPED_TRACE(row.total);
        TempDir dir;
        const std::wstring target = dir.Child(L"empty.zip");
        ScriptedFetcher fetcher({{"", true}});
        EXPECT_EQ(DownloadToFile(row.total, target, fetcher.Bind(), nullptr), row.succeeds);
        EXPECT_EQ(FileExists(target), row.succeeds);
        EXPECT_FALSE(FileExists(target + L".download"));
        if (row.succeeds) {
            EXPECT_EQ(ReadFileBytes(target), "");
        }
    }
}

TEST(DownloadToFile, FailuresLeaveNoTemporaryFileAndKeepTheOldTarget) {
    struct Row {
        const char* name;
        std::uint32_t total;
        std::vector<ScriptedFetcher::Chunk> chunks;  // running past the end throws
        std::size_t progressCalls;
    };
    const std::vector<Row> rows = {
        {"fetch throws mid-download", 0, {{"abc"}}, 1},
        {"empty chunk without last", 0, {{"abc"}, {""}}, 1},
        {"more than announced", 1000, {{std::string(600, 'x')}, {std::string(401, 'y'), true}}, 2},
        {"fewer than announced", 1000, {{std::string(999, 'x'), true}}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::wstring target = dir.Child(L"patch.zip");
        WriteFileBytes(target, "old archive");
        WriteFileBytes(target + L".download", "leftover");
        ScriptedFetcher fetcher(row.chunks);
        ProgressLog progress;

        EXPECT_FALSE(DownloadToFile(row.total, target, fetcher.Bind(), progress.Bind()));

        EXPECT_EQ(progress.calls.size(), row.progressCalls);
        EXPECT_FALSE(FileExists(target + L".download"));
        EXPECT_EQ(ReadFileBytes(target), "old archive");
    }
}

TEST(DownloadToFile, RefusesMissingFetcherOrPath) {
    TempDir dir;
    EXPECT_FALSE(DownloadToFile(0, dir.Child(L"a.zip"), nullptr, nullptr));
    ScriptedFetcher fetcher({{"a", true}});
    EXPECT_FALSE(DownloadToFile(0, L"", fetcher.Bind(), nullptr));
    EXPECT_TRUE(fetcher.offsets.empty());
}

TEST(DownloadToFile, TargetThatIsADirectoryFailsAtTheRename) {
    TempDir dir;
    const std::wstring target = dir.Child(L"taken");
    WriteFileBytes(dir.Child(L"taken/inside.txt"), "x");
    ScriptedFetcher fetcher({{"abc", true}});
    EXPECT_FALSE(DownloadToFile(0, target, fetcher.Bind(), nullptr));
    EXPECT_FALSE(FileExists(target + L".download"));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"taken/inside.txt")), "x");
}

TEST(DownloadToFile, ProgressExceptionPassesThroughWithoutLeavingTheTemporaryFile) {
    TempDir dir;
    const std::wstring target = dir.Child(L"a.zip");
    ScriptedFetcher fetcher({{"abc", true}});
    auto throwing = [](std::uint32_t, std::uint32_t) { throw std::logic_error("window gone"); };
    EXPECT_THROW(DownloadToFile(0, target, fetcher.Bind(), throwing), std::logic_error);
    EXPECT_FALSE(FileExists(target + L".download"));
    EXPECT_FALSE(FileExists(target));
}

// A patch served over a real connection in chunks whose length the server picks by offset; the
// answer numbered failAt (from 0) fails in the way the row says.
TEST(DownloadToFile, WindowOverAConnectionKeepsFilesAndFailures) {
    enum class Failure { kNone, kWrongAnswer, kHangUp };
    struct Row {
        const char* name;
        int window;
        std::function<std::size_t(std::uint32_t)> chunkLength;
        Failure failure;
        std::size_t failAt;
    };
    const auto fixed = [](std::uint32_t) -> std::size_t { return 4096; };
    const std::vector<Row> rows = {
        {"first short, then whole packets", 16, [](std::uint32_t o) -> std::size_t { return o == 0 ? 1000 : 65523; },
         Failure::kNone, 0},
        {"a shorter chunk in the middle", 16, [](std::uint32_t o) -> std::size_t { return o == 8192 ? 1000 : 4096; },
         Failure::kNone, 0},
        {"failure answer, waiting", 1, fixed, Failure::kWrongAnswer, 3},
        {"failure answer, windowed", 16, fixed, Failure::kWrongAnswer, 3},
        {"server hangs up, waiting", 1, fixed, Failure::kHangUp, 3},
        {"server hangs up, windowed", 16, fixed, Failure::kHangUp, 3},
    };
    std::string archive(200000, '\0');
    for (std::size_t i = 0; i < archive.size(); ++i)
        archive[i] = static_cast<char>(i * 131 + i / 509);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::wstring target = dir.Child(L"p.zip");
        WriteFileBytes(target, "old archive");
        FakeLauncherServer server({{1, "p.zip", archive, std::nullopt}}, {});
        std::atomic<std::size_t> answers{0};
        server.SetIntercept([&](const Bytes& request) -> std::optional<Reply> {
            if (test::RequestCode(request) != GET_PATCH_CHUNK)
                return std::nullopt;
            // The first window asks at the length of whole packets; the client drops those
            // answers once it sees shorter chunks, so only the chunks it keeps are counted.
            const std::uint32_t offset = test::U32At(request, 4);
            const bool kept = offset % 4096 == 0;
            const bool fails = row.failure != Failure::kNone && kept && answers++ == row.failAt;
            if (fails && row.failure == Failure::kHangUp)
                return Reply::Close();
            if (fails)
                return Reply::Payload(PayloadBuilder().U16(GET_NEXT_PATCH).U32(1).Take());
            const std::string piece = archive.substr(offset, row.chunkLength(offset));
            const bool last = offset + piece.size() == archive.size();
            return Reply::Payload(PayloadBuilder().U16(GET_PATCH_CHUNK).U32(last ? 1 : 0)
                                      .U32(static_cast<std::uint32_t>(piece.size())).Raw(piece).Take());
        });
        LauncherApi api;
        ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
        PatchChunkChannel channel(api, 1);
        ProgressLog progress;

        const bool succeeds = row.failure == Failure::kNone;
        const DownloadPlan plan{.target = target,
                                .totalSize = 200000,
                                .exactSize = true,
                                .placement = Placement::PartMovedIn,
                                .pipeline = row.window};
        EXPECT_EQ(DownloadToFile(channel, plan, progress.Bind()), succeeds);

        EXPECT_FALSE(FileExists(target + L".download"));
        EXPECT_TRUE(ReadFileBytes(target) == (succeeds ? archive : "old archive"));
        // A hang-up with requests still unread may reach the client as a reset that takes the
        // last answers with it, so only their upper bound is sure.
        if (!succeeds) {
            EXPECT_LE(progress.calls.size(), row.failAt);
        }
        if (row.failure == Failure::kWrongAnswer) {
            EXPECT_EQ(progress.calls.size(), row.failAt);
        }
        // Answers to requests sent ahead were all taken off the connection.
        EXPECT_EQ(api.IsConnected(), row.failure != Failure::kHangUp);
        if (api.IsConnected()) {
            EXPECT_TRUE(api.HasNextPatch(0, "UNKNOWN", "UNKNOWN"));
        }
    }
}

// The first window of a download asks at the largest chunk until the connection has seen the
// server's own length; the next download asks at that length from the start.
TEST(DownloadToFile, NextDownloadOnAConnectionExpectsTheChunkLengthSeen) {
    const std::string archive(200000, 'z');
    FakeLauncherServer server({{1, "p.zip", archive, std::nullopt}}, {});
    std::vector<std::uint32_t> offsets;
    server.SetIntercept([&](const Bytes& request) -> std::optional<Reply> {
        if (test::RequestCode(request) != GET_PATCH_CHUNK)
            return std::nullopt;
        const std::uint32_t offset = test::U32At(request, 4);
        offsets.push_back(offset);
        const std::string piece = archive.substr(offset, 4096);
        return Reply::Payload(PayloadBuilder().U16(GET_PATCH_CHUNK).U32(offset + piece.size() == archive.size())
                                  .U32(static_cast<std::uint32_t>(piece.size())).Raw(piece).Take());
    });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    TempDir dir;
    for (std::size_t dropped : {3u, 0u}) {
        SCOPED_TRACE(dropped);
        offsets.clear();
        PatchChunkChannel channel(api, 1);
        const DownloadPlan plan{.target = dir.Child(L"p.zip"), .totalSize = 200000, .pipeline = 16};
        EXPECT_TRUE(DownloadToFile(channel, plan, nullptr));
        EXPECT_TRUE(ReadFileBytes(dir.Child(L"p.zip")) == archive);
        EXPECT_EQ(offsets.size(), 49 + dropped);
        EXPECT_EQ(offsets[1], dropped ? 65523u : 4096u);
    }
}

}  // namespace
}  // namespace ombrelta
