#include "protocol/ChunkWindow.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace ombrelta {
namespace {

std::int64_t SteadyMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A round that gains less than this over the one before shows the window no longer limits.
constexpr double kWorthGrowing = 1.25;
// A gain of at least this share of the window's own growth means the line is far from full.
constexpr double kInStep = 0.875;
constexpr double kFallen = 0.5;

}  // namespace

ChunkWindow::ChunkWindow(Clock clock) : clock(clock ? std::move(clock) : Clock(SteadyMicroseconds)) {}

void ChunkWindow::Reset() {
    *this = ChunkWindow(std::move(clock));
}

void ChunkWindow::StartDownload() {
    awaitingStart = true;
}

void ChunkWindow::Answered(std::uint64_t bytes) {
    const std::int64_t now = clock();
    if (!awaitingStart) {
        roundBytes += bytes;
        if (++roundAnswers < size)
            return;
        // Answers within one tick of the clock still count as taking one.
        Judge(static_cast<double>(roundBytes) / static_cast<double>(std::max<std::int64_t>(now - roundStart, 1)));
    }
    // The requests sent on this answer's arrival are answered a round trip later: the next
    // round is measured from here.
    awaitingStart = false;
    roundStart = now;
    roundAnswers = 0;
    roundBytes = 0;
}

void ChunkWindow::Judge(double rate) {
    const double gain = lastRate > 0 ? rate / lastRate : 0;
    if (holding) {
        if (gain >= kWorthGrowing) {
            holding = false;
            Resize(2);
        } else if (gain < kFallen) {
            Resize(-2);
        } else {
            return;  // the rate the window was held at stays the measure
        }
    } else if (lastRate == 0 || gain >= kInStep * lastGrowth) {
        Resize(lastRate == 0 ? 2 : 4);
    } else if (gain >= kWorthGrowing) {
        Resize(2);
    } else {
        holding = true;
        lastGrowth = 1;
    }
    lastRate = rate;
}

// factor: above 0 multiplies the window, below 0 divides it; a window that cannot grow holds.
void ChunkWindow::Resize(int factor) {
    const int wanted = factor > 0 ? size * factor : size / -factor;
    const int newSize = std::clamp(wanted, kSmallest, kLargest);
    lastGrowth = factor > 0 ? newSize / size : 1;
    if (factor > 0 && newSize == size)
        holding = true;
    size = newSize;
}

}  // namespace ombrelta
