#include "protocol/ChunkWindow.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

constexpr std::uint64_t kChunk = 65536;

// A line seen through its answers: a window of w chunks takes a round trip to come back, or
// longer when the line's rate cannot carry them in that time.
struct Line {
    double megabitsPerSecond;  // 0: no limit
    std::int64_t roundTripMicros;

    std::int64_t RoundMicros(int window) const {
        if (megabitsPerSecond == 0)
            return roundTripMicros;
        const auto sending = static_cast<std::int64_t>(window * kChunk * 8 / megabitsPerSecond);
        return std::max(roundTripMicros, sending);
    }
};

class Scripted {
public:
    Scripted() : window([this] { return now; }) {}

    // A download's lone first answer, after idle microseconds.
    void Start(std::int64_t idle) {
        window.StartDownload();
        now += idle;
        window.Answered(kChunk);
    }

    // One round of the window's answers over line, evenly spread; the size after each.
    std::vector<int> Rounds(const Line& line, int count) {
        std::vector<int> sizes;
        for (int round = 0; round < count; ++round) {
            const int answers = window.Size();
            const std::int64_t step = line.RoundMicros(answers) / answers;
            for (int i = 0; i < answers; ++i) {
                now += step;
                window.Answered(kChunk);
            }
            sizes.push_back(window.Size());
        }
        return sizes;
    }

    std::int64_t now = 1000000;
    ChunkWindow window;
};

TEST(ChunkWindow, GrowsWhileTheRateGrowsThenHoldsOrShrinks) {
    struct Row {
        const char* name;
        Line first;
        int firstRounds;
        Line then;
        std::vector<int> sizes;  // after each round, over both lines
    };
    const Line slow200{20, 200000};
    const Line fast200{100, 200000};
    const std::vector<Row> rows = {
        {"the line is full from the start", {100, 20000}, 3, {100, 20000}, {16, 16, 16, 16, 16, 16}},
        {"long round trip", fast200, 4, fast200, {64, 128, 128, 128, 128, 128, 128, 128}},
        {"fast line", {1000, 50000}, 4, {1000, 50000}, {64, 256, 256, 256, 256, 256, 256, 256}},
        {"no limit but the largest window", {0, 10000}, 4, {0, 10000}, {64, 256, 256, 256, 256, 256, 256}},
        {"the rate falls to a fifth", fast200, 4, slow200, {64, 128, 128, 128, 64, 64, 64, 64}},
        {"the rate rises when held", slow200, 3, fast200, {16, 16, 16, 32, 128, 128}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scripted line;
        line.Start(row.first.roundTripMicros);
        std::vector<int> sizes = line.Rounds(row.first, row.firstRounds);
        const std::vector<int> rest =
            line.Rounds(row.then, static_cast<int>(row.sizes.size()) - row.firstRounds);
        sizes.insert(sizes.end(), rest.begin(), rest.end());
        EXPECT_EQ(sizes, row.sizes);
    }
}

// The pause before a download's first answer (its lone request, the work between files) is no
// slower line: the size reached carries over, and a round cut short by the end of a download
// is not judged.
TEST(ChunkWindow, NextDownloadGoesOnAtTheSizeReached) {
    const Line line{100, 200000};
    Scripted script;
    script.Start(line.roundTripMicros);
    ASSERT_EQ(script.Rounds(line, 4).back(), 128);
    for (int i = 0; i < 5; ++i)
        script.window.Answered(kChunk);
    script.Start(5000000);
    EXPECT_EQ(script.Rounds(line, 2), (std::vector<int>{128, 128}));

    script.window.Reset();
    EXPECT_EQ(script.window.Size(), ChunkWindow::kStart);
}

}  // namespace
}  // namespace ombrelta
