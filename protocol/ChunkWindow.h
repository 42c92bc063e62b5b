#pragma once

#include <cstdint>
#include <functional>

namespace ombrelta {

/// The window of a download that sizes itself: ChunkLoopPlan::pipeline set to this keeps the
/// requests of a ChunkWindow in flight. Being above 1, it takes every path of a window that
/// asks ahead (requests sent at once, a repaired file hashed again).
inline constexpr int kAutoWindow = 257;

/// Sizes the window of chunk requests by the delivery rate, as TCP sizes its own: the rate is
/// measured over rounds of as many answers as the window holds (one round trip while the window
/// is what limits the rate). The window starts at kStart. A first round that takes less than
/// two round trips of the lone first request was limited by the window: it quadruples, and
/// goes on quadrupling while the rate grows in step with it; otherwise it doubles while each
/// round brings at least a quarter more than the one before, and then holds. A held window
/// that later gains a quarter grows again; one whose rate falls below half of the rate it was
/// held at is halved. It stays within kSmallest and kLargest. Kept by the connection so that
/// the next download starts at the size reached.
class ChunkWindow {
public:
    static constexpr int kStart = 16;
    static constexpr int kSmallest = 4;
    static constexpr int kLargest = 256;

    /// Microseconds of a steady clock.
    using Clock = std::function<std::int64_t()>;

    /// Reads arrival times from clock, by default the system's steady clock.
    explicit ChunkWindow(Clock clock = {});

    /// Requests to keep in flight.
    int Size() const { return size; }
    /// Starts over at kStart, for a new connection.
    void Reset();
    /// A download begins: its first answer comes alone and only starts the next round.
    void StartDownload();
    /// Counts an answer of bytes that has just arrived; may change Size.
    void Answered(std::uint64_t bytes);

private:
    void Judge(std::int64_t roundMicros);
    bool WindowLimited(std::int64_t roundMicros, double gain) const;
    void Grow(int factor);
    void Halve();

    Clock clock;
    int size = kStart;
    bool holding = false;
    double lastRate = 0;  // bytes per microsecond of the round before, 0 before the first
    int lastGrowth = 1;   // the factor the window grew by for the round just measured
    bool awaitingStart = true;
    std::int64_t downloadStart = 0;
    std::int64_t firstRoundTrip = 0;  // of a download's lone first request, until a rate is known
    std::int64_t roundStart = 0;
    int roundAnswers = 0;
    std::uint64_t roundBytes = 0;
};

}  // namespace ombrelta
