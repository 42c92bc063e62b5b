#include "protocol/ChunkWindow.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace ombrelta {
namespace {

std::int64_t SteadyMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A rate this much above the one held shows a line with room for a larger window.
constexpr double kWorthGrowing = 1.25;
constexpr double kFallen = 0.5;
// The window a jump sets beyond the line's rate times its round trip.
constexpr double kHeadroom = 1.25;

}  // namespace

ChunkWindow::ChunkWindow(Clock clock) : clock(clock ? std::move(clock) : Clock(SteadyMicroseconds)) {}

void ChunkWindow::SendingTogether() {
    together = true;
    settling = false;
    roundStart = clock();
    roundAnswers = 0;
    roundBytes = 0;
}

void ChunkWindow::Answered(std::uint64_t bytes) {
    const std::int64_t now = clock();
    roundBytes += bytes;
    if (++roundAnswers == 1) {
        firstArrival = now;
        firstBytes = bytes;
    }
    if (roundAnswers < size)
        return;
    if (settling)
        settling = false;
    else if (together)
        JudgeTogether(now);
    else
        Judge(std::max<std::int64_t>(now - roundStart, 1));  // answers within one tick take one
    // The requests sent on this answer's arrival are answered a round trip later: the next
    // round is measured from here.
    together = false;
    roundStart = now;
    roundAnswers = 0;
    roundBytes = 0;
}

// The line's rate from the spacing of the answers after the first, its round trip from the
// first's arrival.
void ChunkWindow::JudgeTogether(std::int64_t now) {
    const std::uint64_t spacedBytes = roundBytes - firstBytes;
    if (spacedBytes == 0)
        return;
    const double spacing = static_cast<double>(std::max<std::int64_t>(now - firstArrival, 1));
    const double rate = static_cast<double>(spacedBytes) / spacing;
    if (lastRate > 0 && rate < kFallen * lastRate) {
        Halve();
        lastRate = rate;
        return;
    }
    if (lastRate > 0 && rate < kWorthGrowing * lastRate)
        return;
    const double roundTrip = static_cast<double>(std::max<std::int64_t>(firstArrival - roundStart, 1));
    const double chunk = static_cast<double>(roundBytes) / roundAnswers;
    const double needed = std::ceil(rate * roundTrip / chunk * kHeadroom) + 1;
    const int jumped = static_cast<int>(std::clamp<double>(needed, size, kLargest));
    settling = jumped != size;
    size = jumped;
    // What the window carries from now on: the line's rate, or less where even the largest
    // window holds less than the line.
    lastRate = std::min(rate, size * chunk / roundTrip);
}

void ChunkWindow::Judge(std::int64_t roundMicros) {
    const double rate = static_cast<double>(roundBytes) / static_cast<double>(roundMicros);
    if (lastRate == 0) {
        lastRate = rate;
        return;
    }
    if (rate >= kWorthGrowing * lastRate)
        Double();
    else if (rate < kFallen * lastRate)
        Halve();
    else
        return;  // the rate the window was held at stays the measure
    lastRate = rate;
}

void ChunkWindow::Double() {
    size = std::min(size * 2, kLargest);
}

void ChunkWindow::Halve() {
    size = std::max(size / 2, kSmallest);
}

}  // namespace ombrelta
