#include "protocol/ChunkDownload.h"

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/PartialDownload.h"
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
