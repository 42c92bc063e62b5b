#include "protocol/ChunkLoop.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::ReadFileBytes;
using test::TempDir;

using Offsets = std::vector<std::uint32_t>;

// A server in memory that answers requests in the order they came, each with the bytes of
// content from the requested offset, as many as chunkLength(offset) says, and the last flag
// when they reach the end. The answer numbered failAt (from 0) throws, the one numbered
// emptyAt is empty without the last flag.
class InOrderServer : public ChunkChannel {
public:
    InOrderServer(std::string content, std::function<std::size_t(std::uint32_t)> chunkLength)
        : content(std::move(content)), chunkLength(std::move(chunkLength)) {}

    void Request(std::uint32_t offset) override {
        offsets.push_back(offset);
        pending.push_back(offset);
        mostInFlight = std::max(mostInFlight, pending.size());
    }

    std::uint64_t Receive(bool& last) override {
        const std::uint32_t offset = Answer();
        if (answers == failAt)
            throw std::runtime_error("Invalid response for hash file download.");
        const std::size_t from = std::min<std::size_t>(offset, content.size());
        held = answers == emptyAt ? "" : content.substr(from, chunkLength(offset));
        last = answers != emptyAt && from + held.size() == content.size();
        ++answers;
        return held.size();
    }

    bool WriteTo(File& file) override { return file.Write(held.data(), held.size()); }

    bool Discard() override {
        (void)Answer();
        ++discarded;
        return true;
    }

    std::uint64_t ExpectedChunkLength() override { return expectedLength; }

    std::string content;
    std::function<std::size_t(std::uint32_t)> chunkLength;
    std::optional<std::size_t> failAt;
    std::optional<std::size_t> emptyAt;
    Offsets offsets;
    std::deque<std::uint32_t> pending;
    std::size_t mostInFlight = 0;
    std::size_t answers = 0;
    std::size_t discarded = 0;
    std::uint64_t expectedLength = 0;

private:
    std::uint32_t Answer() {
        if (pending.empty())
            throw std::logic_error("an answer without a request");
        const std::uint32_t offset = pending.front();
        pending.pop_front();
        return offset;
    }

    std::string held;
};

std::function<std::size_t(std::uint32_t)> Fixed(std::size_t length) {
    return [length](std::uint32_t) { return length; };
}

std::string Content(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return bytes;
}

struct LoopRun {
    ChunkLoopStatus status;
    std::uint32_t written;
    std::string file;
    std::vector<std::uint32_t> reports;
};

LoopRun RunOn(InOrderServer& server, const ChunkLoopPlan& plan) {
    TempDir dir;
    std::optional<File> file = File::OpenWrite(dir.Child(L"out.bin"));
    EXPECT_TRUE(file.has_value());
    LoopRun run{};
    auto progress = [&](std::uint32_t written, std::uint32_t) { run.reports.push_back(written); };
    run.status = RunChunkLoop(server, *file, plan, progress, run.written);
    file.reset();
    run.file = ReadFileBytes(dir.Child(L"out.bin"));
    return run;
}

TEST(ChunkLoop, WindowAsksAheadAndFallsBackWhenTheGuessIsWrong) {
    struct Row {
        const char* name;
        std::size_t size;
        std::function<std::size_t(std::uint32_t)> chunkLength;
        ChunkLoopPlan plan;
        Offsets offsets;
        std::size_t mostInFlight;
        std::uint64_t expectedLength = 0;
    };
    const auto shortFirst = [](std::uint32_t offset) -> std::size_t { return offset == 0 ? 100 : 1000; };
    const auto shortMiddle = [](std::uint32_t offset) -> std::size_t { return offset == 2000 ? 500 : 1000; };
    const std::vector<Row> rows = {
        {"window 1 waits for each answer", 2500, Fixed(1000), {.totalSize = 2500}, {0, 1000, 2000}, 1},
        {"never asks from the total on", 2500, Fixed(1000), {.totalSize = 2500, .pipeline = 16}, {0, 1000, 2000}, 2},
        {"at most the window in flight", 6000, Fixed(1000), {.totalSize = 6000, .pipeline = 3},
         {0, 1000, 2000, 3000, 4000, 5000}, 3},
        {"unknown size waits for each answer", 3000, Fixed(1000), {.pipeline = 16}, {0, 1000, 2000}, 1},
        {"first chunk shorter than the rest", 3100, shortFirst, {.totalSize = 3100, .pipeline = 4},
         {0, 100, 200, 300, 400, 1100, 2100}, 4},
        {"a shorter chunk in the middle", 4500, shortMiddle, {.totalSize = 4500, .pipeline = 3},
         {0, 1000, 2000, 3000, 4000, 2500, 3500}, 3},
        {"more bytes than listed", 3000, Fixed(1000), {.totalSize = 1500, .pipeline = 8}, {0, 1000, 2000}, 1},
        {"fewer bytes than listed", 2500, Fixed(1000), {.totalSize = 5000, .pipeline = 8},
         {0, 1000, 2000, 3000, 4000}, 4},
        {"from a start offset", 3000, Fixed(1000), {.totalSize = 3000, .pipeline = 8, .startOffset = 1000},
         {1000, 2000}, 1},
        {"the expected length sends the first requests together", 6000, Fixed(1000),
         {.totalSize = 6000, .pipeline = 3}, {0, 1000, 2000, 3000, 4000, 5000}, 3, 1000},
        {"expected longer than sent", 3000, Fixed(1000), {.totalSize = 3000, .pipeline = 4},
         {0, 1500, 1000, 2000}, 2, 1500},
        {"expected shorter than sent", 3000, Fixed(1000), {.totalSize = 3000, .pipeline = 4},
         {0, 600, 1200, 1800, 1000, 2000}, 4, 600},
        {"nothing expected of an unknown size", 3000, Fixed(1000), {.pipeline = 4}, {0, 1000, 2000}, 1, 1000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        InOrderServer server(Content(row.size), row.chunkLength);
        server.expectedLength = row.expectedLength;
        const LoopRun run = RunOn(server, row.plan);
        EXPECT_EQ(run.status, ChunkLoopStatus::Complete);
        EXPECT_EQ(run.written, row.size);
        EXPECT_TRUE(run.file == server.content.substr(row.plan.startOffset));
        EXPECT_EQ(server.offsets, row.offsets);
        EXPECT_EQ(server.mostInFlight, row.mostInFlight);
        EXPECT_TRUE(server.pending.empty());
        EXPECT_EQ(run.reports.size(), server.answers);
        EXPECT_TRUE(std::is_sorted(run.reports.begin(), run.reports.end()));
    }
}

TEST(ChunkLoop, FailuresInsideAWindowLeaveNoAnswerOutstanding) {
    for (int window : {1, 4}) {
        SCOPED_TRACE(window);
        const ChunkLoopPlan plan{.totalSize = 10000, .pipeline = window};
        InOrderServer failing(Content(10000), Fixed(1000));
        failing.failAt = 2;
        TempDir dir;
        std::optional<File> file = File::OpenWrite(dir.Child(L"out.bin"));
        std::uint32_t written = 0;
        EXPECT_THROW(RunChunkLoop(failing, *file, plan, nullptr, written), std::runtime_error);
        EXPECT_EQ(written, 2000u);
        EXPECT_TRUE(failing.pending.empty());

        InOrderServer empty(Content(10000), Fixed(1000));
        empty.emptyAt = 2;
        const LoopRun run = RunOn(empty, plan);
        EXPECT_EQ(run.status, ChunkLoopStatus::EmptyChunk);
        EXPECT_EQ(run.reports, (std::vector<std::uint32_t>{1000, 2000}));
        EXPECT_TRUE(empty.pending.empty());
    }
}

TEST(ChunkLoop, MoreThanALimitingTotal) {
    InOrderServer server(Content(3000), Fixed(1000));
    const LoopRun run = RunOn(server, {.totalSize = 2500, .totalIsLimit = true, .pipeline = 8});
    EXPECT_EQ(run.status, ChunkLoopStatus::PastAnnouncedSize);
    EXPECT_EQ(run.reports, (std::vector<std::uint32_t>{1000, 2000, 3000}));
    EXPECT_TRUE(server.pending.empty());
}

// A server whose traffic is held to 1000 bytes a second on a clock the test moves; it notes the
// bytes received before each request and when the request went.
class PacedServer : public InOrderServer {
public:
    explicit PacedServer(std::string content) : InOrderServer(std::move(content), Fixed(500)) {
        traffic.LimitRate(1000, [this] { return now; }, [this](std::chrono::nanoseconds time) { now += time; });
    }
    void Request(std::uint32_t offset) override {
        sent.push_back({traffic.BytesReceived(), now - start});
        InOrderServer::Request(offset);
    }
    ChunkTraffic* Traffic() override { return &traffic; }

    struct Sent {
        std::uint64_t receivedBefore;
        std::chrono::nanoseconds at;
    };
    const std::chrono::steady_clock::time_point start{std::chrono::hours(1)};
    std::chrono::steady_clock::time_point now = start;
    ChunkTraffic traffic;
    std::vector<Sent> sent;
};

TEST(ChunkLoop, TrafficHoldsEachRequestUntilTheBytesBeforeItArePaidFor) {
    struct Row {
        int window;
        std::chrono::milliseconds lastRequestAt;
    };
    // 500-byte chunks of 5000 bytes: the request after n bytes waits until (n - 250) ms.
    for (const Row& row : {Row{1, std::chrono::milliseconds(4250)}, Row{4, std::chrono::milliseconds(2750)}}) {
        SCOPED_TRACE(row.window);
        PacedServer server(Content(5000));
        const LoopRun run = RunOn(server, {.totalSize = 5000, .pipeline = row.window});
        EXPECT_EQ(run.status, ChunkLoopStatus::Complete);
        EXPECT_TRUE(run.file == server.content);
        ASSERT_EQ(server.sent.size(), 10u);
        for (const PacedServer::Sent& sent : server.sent) {
            const auto allowed = 250 + std::chrono::duration_cast<std::chrono::milliseconds>(sent.at).count();
            EXPECT_LE(sent.receivedBefore, static_cast<std::uint64_t>(allowed)) << sent.at.count();
        }
        EXPECT_EQ(server.sent.back().at, row.lastRequestAt);
        EXPECT_EQ(server.traffic.BytesReceived(), 5000u);
        EXPECT_EQ(server.traffic.Position().written, 5000u);
        EXPECT_EQ(server.traffic.Position().total, 5000u);
    }
}

// An InOrderServer behind a line: the answer to a request sent at time t arrives a round trip
// later at the earliest, and one chunk's sending time after the answer before it at the earliest.
class ServerBehindLine : public InOrderServer {
public:
    ServerBehindLine(std::string content, std::size_t chunk, ChunkWindow& window, std::int64_t& now)
        : InOrderServer(std::move(content), Fixed(chunk)), window(window), now(now) {}

    void Request(std::uint32_t offset) override {
        InOrderServer::Request(offset);
        sent.push_back(now);
    }
    std::uint64_t Receive(bool& last) override {
        inFlight.push_back(pending.size());
        Arrive();
        return InOrderServer::Receive(last);
    }
    bool Discard() override {
        Arrive();
        return InOrderServer::Discard();
    }
    ChunkWindow* AutoWindow() override { return &window; }

    std::int64_t roundTrip = 100000;
    std::int64_t sending = 100;
    std::vector<std::size_t> inFlight;  // requests unanswered as each answer came

private:
    void Arrive() {
        now = std::max(sent.front() + roundTrip, now + sending);
        sent.pop_front();
    }

    ChunkWindow& window;
    std::int64_t& now;
    std::deque<std::int64_t> sent;
};

// A line of a thousand chunks in flight: the window grows past the old cap of 64 with the same
// bytes and reports, the next download on the connection asks for all it can at once after its
// first chunk, and a chunk of another length still sends the rest one request at a time.
TEST(ChunkLoop, AutoWindowGrowsWithTheLineAndCarriesOver) {
    std::int64_t now = 0;
    ChunkWindow window([&now] { return now; });
    for (std::uint32_t chunks : {300u, 100u}) {
        SCOPED_TRACE(chunks);
        const ChunkLoopPlan plan{.totalSize = chunks * 1000, .pipeline = Pipeline::Auto()};
        Offsets everyChunk;
        for (std::uint32_t offset = 0; offset < plan.totalSize; offset += 1000)
            everyChunk.push_back(offset);
        ServerBehindLine server(Content(plan.totalSize), 1000, window, now);
        const LoopRun run = RunOn(server, plan);
        EXPECT_EQ(run.status, ChunkLoopStatus::Complete);
        EXPECT_TRUE(run.file == server.content);
        EXPECT_EQ(server.offsets, everyChunk);
        EXPECT_EQ(run.reports.size(), everyChunk.size());
        EXPECT_GT(server.mostInFlight, 64u);
        EXPECT_TRUE(server.pending.empty());
    }
    EXPECT_EQ(window.Size(), ChunkWindow::kLargest);

    ServerBehindLine shortMiddle(Content(20000), 1000, window, now);
    shortMiddle.chunkLength = [](std::uint32_t offset) -> std::size_t { return offset == 5000 ? 500 : 1000; };
    const LoopRun run = RunOn(shortMiddle, {.totalSize = 20000, .pipeline = Pipeline::Auto()});
    EXPECT_EQ(run.status, ChunkLoopStatus::Complete);
    EXPECT_TRUE(run.file == shortMiddle.content);
    EXPECT_EQ(shortMiddle.offsets.back(), 19500u);
    EXPECT_TRUE(shortMiddle.pending.empty());
}

// 1 Gbit/s at 100 ms with the server's largest chunks: each takes 524 microseconds of the line,
// which holds 192 of them. The window sees only that ratio, so chunks of 1000 bytes stand in.
// The first 64 requests go together; their answers show the line, and the window it needs is in
// flight from the 65th answer on, so only the first round trip runs below the line's rate.
TEST(ChunkLoop, AutoWindowReachesAFastLongLineInTheSecondRound) {
    std::int64_t now = 0;
    ChunkWindow window([&now] { return now; });
    constexpr std::int64_t kChunks = 1000;
    ServerBehindLine server(Content(kChunks * 1000), 1000, window, now);
    server.expectedLength = 1000;
    server.sending = 524;
    const LoopRun run = RunOn(server, {.totalSize = kChunks * 1000, .pipeline = Pipeline::Auto()});
    EXPECT_EQ(run.status, ChunkLoopStatus::Complete);
    EXPECT_TRUE(run.file == server.content);
    ASSERT_GT(server.inFlight.size(), 65u);
    EXPECT_EQ(server.inFlight[0], 64u);
    EXPECT_GE(server.inFlight[64], 192u);
    EXPECT_LE(window.Size(), ChunkWindow::kLargest);
    const std::int64_t lineTime = server.roundTrip + kChunks * server.sending;
    EXPECT_LE(now, lineTime + server.roundTrip);
}

// Only lengths: the offset arithmetic is tested without gigabytes of data.
class SizedChannel : public ChunkChannel {
public:
    explicit SizedChannel(std::vector<std::uint64_t> sizes) : sizes(std::move(sizes)) {}
    void Request(std::uint32_t offset) override { offsets.push_back(offset); }
    std::uint64_t Receive(bool& last) override {
        last = next + 1 == sizes.size();
        return sizes[next++];
    }
    bool WriteTo(File&) override { return ++written, true; }
    bool Discard() override { return false; }

    std::vector<std::uint64_t> sizes;
    std::size_t next = 0;
    std::size_t written = 0;
    Offsets offsets;
};

TEST(ChunkLoop, StopsBeforeTheOffsetWouldPassFourGigabytes) {
    struct Row {
        const char* name;
        std::vector<std::uint64_t> sizes;  // the last one is marked last
        ChunkLoopStatus status;
        std::size_t chunksWritten;
    };
    const std::uint64_t half = 0x80000000;
    const std::vector<Row> rows = {
        {"exactly the largest size", {half, half - 1}, ChunkLoopStatus::Complete, 2},
        {"one byte past it", {half, half - 1, 1}, ChunkLoopStatus::PastOffsetRange, 2},
        {"one chunk past it", {half, half}, ChunkLoopStatus::PastOffsetRange, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        std::optional<File> file = File::OpenWrite(dir.Child(L"out.bin"));
        SizedChannel channel(row.sizes);
        std::uint32_t total = 0;
        EXPECT_EQ(RunChunkLoop(channel, *file, {}, nullptr, total), row.status);
        EXPECT_EQ(channel.written, row.chunksWritten);
        if (row.chunksWritten == 2) {
            EXPECT_EQ(channel.offsets[1], half);
        }
    }
}

}  // namespace
}  // namespace ombrelta
