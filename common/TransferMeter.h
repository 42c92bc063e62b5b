#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

namespace ombrelta {

/// Time left that does not jump: previous, counted down by the elapsed seconds, moves towards the
/// newly measured value by a share that grows with the time between them (3 s to close most
/// of a gap), so one slow chunk nudges the figure instead of throwing it about.
double SmoothedTimeLeft(double previous, double elapsedSeconds, double measured);

/// The receive rate over the last five seconds and the time left of the download under way.
class TransferMeter {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    /// Notes the bytes received so far (a count that only grows) at the time now.
    void Sample(TimePoint now, std::uint64_t bytesReceived);
    /// Bytes a second over the samples of the last 5 s; nothing while they span less than 1 s.
    std::optional<double> BytesPerSecond() const;
    /// Seconds until remaining bytes have arrived at that rate, smoothed against the previous
    /// answer of the same download; nothing without a rate, or with a rate of 0.
    std::optional<double> SecondsLeft(TimePoint now, std::uint64_t remaining);
    /// The next download's time left starts afresh.
    void NewDownload() { lastAnswerAt.reset(); }

private:
    struct Point {
        TimePoint at;
        std::uint64_t bytes;
    };
    std::deque<Point> samples;
    // The previous time left given for this download, and when.
    std::optional<TimePoint> lastAnswerAt;
    double lastAnswer = 0;
};

}  // namespace ombrelta
