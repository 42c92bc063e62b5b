#include "protocol/ChunkDownload.h"

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/FailureNote.h"
#include "common/PartialDownload.h"
#include "common/Text.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::FileExists;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// Serves content in chunks of 4 bytes from whatever offset is asked; the answer numbered failAt
// (from 0) is empty without the last flag, or throws.
class ContentChannel : public ChunkChannel {
public:
    enum class Fault { kNone, kEmptyChunk, kThrow };
    ContentChannel(std::string content, Fault fault = Fault::kNone, std::size_t failAt = 0)
        : content(std::move(content)), fault(fault), failAt(failAt) {}

    void Request(std::uint32_t offset) override {
        offsets.push_back(offset);
        pending.push_back(offset);
    }
    std::uint64_t Receive(bool& last) override {
        const std::uint32_t offset = pending.front();
        pending.pop_front();
        const bool fails = fault != Fault::kNone && answers++ == failAt;
        if (fails && fault == Fault::kThrow)
            throw std::runtime_error("connection lost");
        chunk = fails ? "" : content.substr(std::min<std::size_t>(offset, content.size()), 4);
        last = !fails && offset + chunk.size() >= content.size();
        return chunk.size();
    }
    bool WriteTo(File& file) override { return file.Write(chunk.data(), chunk.size()); }
    bool Discard() override { return false; }
    void SendRequestsAtOnce() override { ++atOnce; }

    std::vector<std::uint32_t> offsets;
    int atOnce = 0;

private:
    std::string content;
    Fault fault;
    std::size_t failAt;
    std::size_t answers = 0;
    std::deque<std::uint32_t> pending;
    std::string chunk;
};

const std::string kContent = "0123456789";
const std::string kRecord = "record\n";

// Each row starts from "old" at the target and, when part is not empty, a kept part of the
// content with its record beside it. No row leaves a part or a record.
TEST(DownloadChunks, FilesLeftAtEveryEnd) {
    using Fault = ContentChannel::Fault;
    using Offsets = std::vector<std::uint32_t>;
    struct Row {
        const char* name;
        Placement placement;
        bool resume;
        std::string part;
        Fault fault;
        bool checkPasses;
        DownloadEnd end;
        Offsets offsets;
        std::string target;
    };
    const Offsets whole{0, 4, 8}, first{0}, rest{6}, restThenWhole{6, 0, 4, 8};
    const std::vector<Row> rows = {
        {"in place", Placement::InPlace, false, "", Fault::kNone, true, DownloadEnd::Done, whole, kContent},
        {"in place, empty chunk", Placement::InPlace, false, "", Fault::kEmptyChunk, true,
         DownloadEnd::LoopFailed, first, ""},
        {"in place, refused", Placement::InPlace, false, "", Fault::kNone, false, DownloadEnd::Refused, whole,
         kContent},
        {"moved in", Placement::PartMovedIn, false, "", Fault::kNone, true, DownloadEnd::Done, whole,
         kContent},
        {"renamed over, refused", Placement::PartRenamedOver, false, "", Fault::kNone, false,
         DownloadEnd::Refused, whole, "old"},
        {"empty chunk, part", Placement::PartMovedIn, true, "", Fault::kEmptyChunk, true,
         DownloadEnd::LoopFailed, first, "old"},
        {"kept part continued", Placement::PartRenamedOver, true, "012345", Fault::kNone, true,
         DownloadEnd::Done, rest, kContent},
        {"continued part refused, fetched from 0 once", Placement::PartRenamedOver, true, "012345",
         Fault::kNone, false, DownloadEnd::Refused, restThenWhole, "old"},
        {"kept part without resume", Placement::PartMovedIn, false, "xx", Fault::kNone, true,
         DownloadEnd::Done, whole, kContent},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::wstring target = dir.Child(L"sub/f.bin");
        WriteFileBytes(target, "old");
        if (!row.part.empty()) {
            WriteFileBytes(target + L".download", row.part);
            WriteFileBytes(target + L".download.resume", kRecord);
        }
        ContentChannel channel(kContent, row.fault);
        DownloadPlan plan{.target = target, .totalSize = 10, .exactSize = true, .placement = row.placement};
        if (row.resume)
            plan.resumeRecord = kRecord;
        plan.check = [&](const std::wstring&, bool) { return row.checkPasses; };

        EXPECT_EQ(DownloadChunks(channel, plan, nullptr).end, row.end);

        EXPECT_EQ(channel.offsets, row.offsets);
        EXPECT_EQ(ReadFileBytes(target), row.target);
        EXPECT_FALSE(FileExists(target + L".download"));
        EXPECT_FALSE(FileExists(target + L".download.resume"));
        EXPECT_EQ(channel.atOnce, 0);
    }
}

// A part that cannot take the target's place is gone, and the system's reason is noted.
TEST(DownloadChunks, APartThatCannotBePlacedNotesWhy) {
    TempDir dir;
    const std::wstring target = dir.Child(L"f.bin");
    WriteFileBytes(target + L"/inside", "a folder in the way");
    ContentChannel channel(kContent, ContentChannel::Fault::kNone);
    const DownloadPlan plan{
        .target = target, .totalSize = 10, .exactSize = true, .placement = Placement::PartRenamedOver};
    FailureNotes notes;
    EXPECT_EQ(DownloadChunks(channel, plan, nullptr).end, DownloadEnd::CannotPlace);
    EXPECT_NE(TakeFailureNotes().find("cannot put " + WideToUtf8(target) + " in place: "), std::string::npos);
    EXPECT_FALSE(FileExists(target + L".download"));
}

// A lost connection keeps a recorded part, unless it cannot be continued; a bad answer keeps it
// only when the plan says so.
TEST(DownloadChunks, WhatAnInterruptionKeeps) {
    using Fault = ContentChannel::Fault;
    struct Row {
        const char* name;
        bool resume;
        bool keepOnBadAnswer;
        Fault fault;
        bool kept;
    };
    const std::vector<Row> rows = {
        {"lost, resume", true, false, Fault::kThrow, true},
        {"lost, no resume", false, false, Fault::kThrow, false},
        {"empty chunk, kept on bad answers", true, true, Fault::kEmptyChunk, true},
        {"empty chunk, not kept", true, false, Fault::kEmptyChunk, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::wstring target = dir.Child(L"f.bin");
        ContentChannel channel(kContent, row.fault, 1);
        DownloadPlan plan{.target = target,
                          .totalSize = 10,
                          .placement = Placement::PartRenamedOver,
                          .keepPartOnBadAnswer = row.keepOnBadAnswer,
                          .pipeline = 4};
        if (row.resume)
            plan.resumeRecord = kRecord;
        bool threw = false;
        try {
            EXPECT_EQ(DownloadChunks(channel, plan, nullptr).end, DownloadEnd::LoopFailed);
        } catch (const std::runtime_error&) {
            threw = true;
        }
        EXPECT_EQ(threw, row.fault == Fault::kThrow);
        EXPECT_EQ(channel.atOnce, 1);
        EXPECT_FALSE(FileExists(target));
        EXPECT_EQ(FileExists(target + L".download"), row.kept);
        EXPECT_EQ(FileExists(target + L".download.resume"), row.kept);
        if (row.kept) {
            EXPECT_EQ(ReadFileBytes(target + L".download"), "0123");
        }
    }
}

// use sees the file at the target: a continued one it refuses is fetched once more whole, one
// fetched whole it refuses stays where it is.
TEST(DownloadChunks, UseRefusingFetchesAContinuedFileOnceMore) {
    TempDir dir;
    const std::wstring target = dir.Child(L"p.zip");
    WriteFileBytes(target + L".download", "0123");
    WriteFileBytes(target + L".download.resume", kRecord);
    ContentChannel channel(kContent);
    std::vector<bool> uses;
    DownloadPlan plan{.target = target,
                      .totalSize = 10,
                      .exactSize = true,
                      .placement = Placement::PartMovedIn,
                      .resumeRecord = kRecord};
    plan.use = [&](bool continued) {
        uses.push_back(continued);
        EXPECT_EQ(ReadFileBytes(target), kContent);
        return false;
    };
    EXPECT_EQ(DownloadChunks(channel, plan, nullptr).end, DownloadEnd::Unused);
    EXPECT_EQ(uses, (std::vector<bool>{true, false}));
    EXPECT_EQ(channel.offsets, (std::vector<std::uint32_t>{4, 8, 0, 4, 8}));
    EXPECT_EQ(ReadFileBytes(target), kContent);
    EXPECT_FALSE(FileExists(target + L".download"));
    EXPECT_FALSE(FileExists(target + L".download.resume"));
}

}  // namespace
}  // namespace ombrelta

namespace ombrelta {
namespace {

// Sources tried in order, the last one the server; each serves its content in chunks of 4 bytes,
// the first from offset 0 on, and a source may fail as a mirror does at its answer failAt.
class SourcesChannel : public ChunkChannel {
public:
    struct Source {
        std::string content;
        int failAt = -1;
    };
    explicit SourcesChannel(std::vector<Source> sources) : sources(std::move(sources)) {}

    void Request(std::uint32_t offset) override { requests.push_back({current, offset}); }
    std::uint64_t Receive(bool& last) override {
        const Source& source = sources[current];
        const std::uint32_t offset = requests.back().second;
        if (answers++ == source.failAt)
            throw SourceFault("stalled");
        chunk = source.content.substr(offset, 4);
        last = offset + chunk.size() >= source.content.size();
        return chunk.size();
    }
    bool WriteTo(File& file) override { return file.Write(chunk.data(), chunk.size()); }
    bool Discard() override { return false; }
    bool FromServer() const override { return current + 1 == sources.size(); }
    void NextSource() override {
        if (!FromServer()) {
            ++current;
            answers = 0;
        }
    }

    std::vector<std::pair<std::size_t, std::uint32_t>> requests;  // source, offset

private:
    std::vector<Source> sources;
    std::size_t current = 0;
    int answers = 0;
    std::string chunk;
};

TEST(DownloadChunks, SourcesBeforeTheServerHandOnEveryFault) {
    using Requests = std::vector<std::pair<std::size_t, std::uint32_t>>;
    const std::string bad = "0123x56789";
    const struct Row {
        const char* name;
        std::vector<SourcesChannel::Source> sources;
        bool resume;
        bool useRefusesFirst;
        DownloadEnd end;
        Requests requests;
    } rows[] = {
        {"first source stalls, server from 0", {{kContent, 1}, {kContent}}, false, false, DownloadEnd::Done,
         {{0, 0}, {0, 4}, {1, 0}, {1, 4}, {1, 8}}},
        {"kept part goes on at the next", {{kContent, 1}, {kContent}}, true, false, DownloadEnd::Done,
         {{0, 0}, {0, 4}, {1, 4}, {1, 8}}},
        {"wrong bytes refused, next from 0", {{bad}, {kContent, 0}, {kContent}}, false, false, DownloadEnd::Done,
         {{0, 0}, {0, 4}, {0, 8}, {1, 0}, {2, 0}, {2, 4}, {2, 8}}},
        {"use refuses a mirror's file", {{kContent}, {kContent}}, false, true, DownloadEnd::Done,
         {{0, 0}, {0, 4}, {0, 8}, {1, 0}, {1, 4}, {1, 8}}},
        {"the server's wrong bytes stay refused", {{bad}}, false, false, DownloadEnd::Refused,
         {{0, 0}, {0, 4}, {0, 8}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::wstring target = dir.Child(L"file.bin");
        SourcesChannel channel(row.sources);
        DownloadPlan plan{.target = target, .totalSize = 10, .exactSize = true, .placement = Placement::PartMovedIn};
        if (row.resume) {
            plan.resumeRecord = kRecord;
            plan.keepPartOnBadAnswer = true;
        }
        plan.check = [&](const std::wstring& path, bool) { return ReadFileBytes(path) == kContent; };
        int uses = 0;
        plan.use = [&](bool fetchAgain) { return !(row.useRefusesFirst && uses++ == 0 && fetchAgain); };
        EXPECT_EQ(DownloadChunks(channel, plan, nullptr).end, row.end);
        EXPECT_EQ(channel.requests, row.requests);
        EXPECT_EQ(FileExists(target), row.end == DownloadEnd::Done);
        EXPECT_FALSE(FileExists(target + L".download"));
    }
}

}  // namespace
}  // namespace ombrelta
