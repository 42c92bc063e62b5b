#include "patch/FileDownload.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::FileExists;
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
    ScriptedFetcher fetcher({{std::string(300, 'a')}, {std::string(300, 'b')}, {std::string(400, 'c'), true}});
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

}  // namespace
}  // namespace ombrelta
