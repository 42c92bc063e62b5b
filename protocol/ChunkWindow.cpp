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
// Sent at once, a window's requests come back within two round trips unless the line is full:
// one for the last request, one at most for the line to carry the answers before it.
constexpr std::int64_t kWindowLimitedTrips = 2;

}  // namespace

ChunkWindow::ChunkWindow(Clock clock) : clock(clock ? std::move(clock) : Clock(SteadyMicroseconds)) {}

void ChunkWindow::Reset() {
    *this = ChunkWindow(std::move(clock));
}

void ChunkWindow::StartDownload() {
    awaitingStart = true;
    downloadStart = clock();
}

void ChunkWindow::Answered(std::uint64_t bytes) {
    const std::int64_t now = clock();
    if (awaitingStart) {
        if (lastRate == 0)
            firstRoundTrip = now - downloadStart;
    } else {
        roundBytes += bytes;
        if (++roundAnswers < size)
            return;
        // Answers within one tick of the clock still count as taking one.
        Judge(std::max<std::int64_t>(now - roundStart, 1));
    }
    // The requests sent on this answer's arrival are answered a round trip later: the next
    // round is measured from here.
    awaitingStart = false;
    roundStart = now;
    roundAnswers = 0;
    roundBytes = 0;
}

void ChunkWindow::Judge(std::int64_t roundMicros) {
    const double rate = static_cast<double>(roundBytes) / static_cast<double>(roundMicros);
    const double gain = lastRate > 0 ? rate / lastRate : 0;
    if (holding) {
        if (gain >= kWorthGrowing)
            Grow(2);
        else if (gain < kFallen)
            Halve();
        else
            return;  // the rate the window was held at stays the measure
    } else if (WindowLimited(roundMicros, gain)) {
        Grow(4);
    } else if (gain >= kWorthGrowing) {
        Grow(2);
    } else {
        holding = true;
        lastGrowth = 1;
    }
    lastRate = rate;
}

// With no round before it, a round's time against the lone first request's tells; after that,
// a gain that kept up with the window's growth.
bool ChunkWindow::WindowLimited(std::int64_t roundMicros, double gain) const {
    if (lastRate == 0)
        return roundMicros < kWindowLimitedTrips * firstRoundTrip;
    return gain >= kInStep * lastGrowth;
}

// A window that cannot grow any more holds.
void ChunkWindow::Grow(int factor) {
    const int grown = std::min(size * factor, kLargest);
    lastGrowth = grown / size;
    holding = grown == size;
    size = grown;
}

void ChunkWindow::Halve() {
    size = std::max(size / 2, kSmallest);
    lastGrowth = 1;
}

}  // namespace ombrelta
