#include "protocol/ChunkWindow.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

constexpr std::uint64_t kChunk = 65536;

// A line and a server that answers at once: the answer to a request sent at t arrives a round
// trip later at the earliest, and one chunk's sending time after the answer before it.
struct Line {
    double megabitsPerSecond;  // 0: no limit
    std::int64_t roundTripMicros;

    std::int64_t SendingMicros() const {
        return megabitsPerSecond == 0 ? 0 : static_cast<std::int64_t>(kChunk * 8 / megabitsPerSecond);
    }
};

// Downloads over a line as the chunk loop makes them: the window's requests go out together,
// then one more on every answer while the window has room.
class Scripted {
public:
    Scripted() : window([this] { return now; }) {}

    // A download of chunks over line; the window's size after each round of as many answers as
    // it held when the round began.
    std::vector<int> Download(const Line& line, int chunks) {
        std::vector<int> sizes;
        std::deque<std::int64_t> sent;
        int requested = 0;
        window.SendingTogether();
        int roundLeft = window.Size();
        while (requested < chunks || !sent.empty()) {
            while (requested < chunks && static_cast<int>(sent.size()) < window.Size()) {
                sent.push_back(now);
                ++requested;
            }
            now = std::max(sent.front() + line.roundTripMicros, now + line.SendingMicros());
            sent.pop_front();
            window.Answered(kChunk);
            if (--roundLeft == 0) {
                sizes.push_back(window.Size());
                roundLeft = window.Size();
            }
        }
        return sizes;
    }

    std::int64_t now = 1000000;
    ChunkWindow window;
};

// The window a line needs: its rate times the first answer's round trip in chunks, a quarter
// more, and one: 0.5 s / 5.24 ms = 95.4 chunks give 121, 0.1 s / 0.524 ms = 190.8 give 240.
TEST(ChunkWindow, JumpsToTheLineAfterTheFirstRoundThenHoldsOrShrinks) {
    struct Row {
        const char* name;
        Line first;
        Line then;
        std::vector<int> sizes;  // after each of the first rounds of a download over first, then one over then
    };
    const Line fast100{1000, 100000};
    const std::vector<Row> rows = {
        {"the line is full from the start", {100, 200000}, {100, 200000}, {64, 64, 64, 64, 64, 64}},
        {"100 Mbit/s at 500 ms", {100, 500000}, {100, 500000}, {121, 121, 121, 121, 121, 121}},
        {"1 Gbit/s at 100 ms", fast100, fast100, {240, 240, 240, 240, 240, 240}},
        {"no limit but the largest window", {0, 10000}, {0, 10000}, {256, 256, 256, 256, 256, 256}},
        {"the rate falls to a tenth", fast100, {100, 100000}, {240, 240, 240, 120, 120, 120}},
        {"the line grows tenfold", {100, 200000}, {1000, 200000}, {64, 64, 64, 256, 256, 256}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scripted script;
        std::vector<int> sizes = script.Download(row.first, 2000);
        sizes.resize(3);
        std::vector<int> then = script.Download(row.then, 4000);
        then.resize(3);
        sizes.insert(sizes.end(), then.begin(), then.end());
        EXPECT_EQ(sizes, row.sizes);
    }
}

// The pause between downloads is no slower line, and a new download starts at the size reached;
// a round cut short by the end of a download is not judged.
TEST(ChunkWindow, NextDownloadGoesOnAtTheSizeReached) {
    const Line line{100, 500000};
    Scripted script;
    ASSERT_EQ(script.Download(line, 600).back(), 121);
    script.Download(line, 5);
    script.now += 5000000;
    EXPECT_EQ(script.Download(line, 363), std::vector<int>(363 / 121, 121));
    EXPECT_EQ(ChunkWindow().Size(), ChunkWindow::kStart);
}

}  // namespace
}  // namespace ombrelta
