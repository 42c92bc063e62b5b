#include "common/TransferMeter.h"

#include <algorithm>
#include <cmath>

namespace ombrelta {
namespace {

constexpr std::chrono::seconds kWindow{5};
constexpr std::chrono::seconds kShortestMeasure{1};
constexpr double kSmoothingSeconds = 3.0;

double Seconds(std::chrono::steady_clock::duration time) {
    return std::chrono::duration<double>(time).count();
}

}  // namespace

double SmoothedTimeLeft(double previous, double elapsedSeconds, double measured) {
    const double countedDown = std::max(0.0, previous - elapsedSeconds);
    const double share = 1.0 - std::exp(-std::max(0.0, elapsedSeconds) / kSmoothingSeconds);
    return countedDown + (measured - countedDown) * share;
}

void TransferMeter::Sample(TimePoint now, std::uint64_t bytesReceived) {
    samples.push_back({now, bytesReceived});
    // One sample at or before the window's start stays, so the window is always covered whole.
    while (samples.size() > 2 && samples[1].at <= now - kWindow)
        samples.pop_front();
}

std::optional<double> TransferMeter::BytesPerSecond() const {
    if (samples.size() < 2)
        return std::nullopt;
    const auto span = samples.back().at - samples.front().at;
    if (span < kShortestMeasure)
        return std::nullopt;
    return static_cast<double>(samples.back().bytes - samples.front().bytes) / Seconds(span);
}

std::optional<double> TransferMeter::SecondsLeft(TimePoint now, std::uint64_t remaining) {
    const std::optional<double> rate = BytesPerSecond();
    if (!rate || *rate <= 0)
        return std::nullopt;
    double left = static_cast<double>(remaining) / *rate;
    if (lastAnswerAt)
        left = SmoothedTimeLeft(lastAnswer, Seconds(now - *lastAnswerAt), left);
    lastAnswerAt = now;
    lastAnswer = left;
    return left;
}

}  // namespace ombrelta
