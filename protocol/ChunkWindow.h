#pragma once

#include <cstdint>
#include <functional>

namespace ombrelta {

/// Sizes the window of chunk requests from what the line shows. Requests sent together come
/// back a round trip later, one after another as fast as the line carries them while the line
/// holds more than the window: the first answer gives the round trip, the spacing of the rest the
/// line's rate, and their product (a quarter more, for the answers' own sending and a busy
/// machine) the window the line needs, which the window jumps to. Later rounds, of as many
/// answers as the window holds, measure the delivery rate: one that gains a quarter doubles the
/// window, one that falls below half of the rate held halves it. A round after requests sent
/// together whose rate falls below half halves it too; one that shows a line faster by a quarter
/// jumps again. The window starts at kStart, never shrinks on a jump and stays within kSmallest
/// and kLargest. Kept by the connection object, so that the next download and the next
/// connection start at the size reached.
class ChunkWindow {
public:
    static constexpr int kStart = 64;
    static constexpr int kSmallest = 4;
    static constexpr int kLargest = 256;

    /// Microseconds of a steady clock.
    using Clock = std::function<std::int64_t()>;

    /// Reads arrival times from clock, by default the system's steady clock.
    explicit ChunkWindow(Clock clock = {});

    /// Requests to keep in flight.
    int Size() const { return size; }
    /// The window's requests are about to go out together (a download's first, or its first
    /// after its chunk length turned out other than expected); a round not yet complete is
    /// dropped.
    void SendingTogether();
    /// Counts an answer of bytes that has just arrived; may change Size.
    void Answered(std::uint64_t bytes);

private:
    void JudgeTogether(std::int64_t now);
    void Judge(std::int64_t roundMicros);
    void Double();
    void Halve();

    Clock clock;
    int size = kStart;
    double lastRate = 0;    // bytes per microsecond the window is held at; 0 before the first
    bool settling = false;  // the round after a jump mixes two sizes and is not judged
    bool together = false;  // the round under way began with requests sent together
    std::int64_t roundStart = 0;
    std::int64_t firstArrival = 0;
    int roundAnswers = 0;
    std::uint64_t roundBytes = 0;
    std::uint64_t firstBytes = 0;
};

}  // namespace ombrelta
