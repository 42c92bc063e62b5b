#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/ProgressEvents.h"
#include "common/TransferMeter.h"
#include "ui/Layout.h"

namespace ombrelta {

/// The details line (`details`): smaller than the status line, in the gap between it and the
/// progress bar, clear of both, a little wider than the bar so that the longest line fits.
inline constexpr TextBox kDetailsTextBox{370, 421, 340, 15, 10, 0xFFD8D0A0, true};
/// The inside of the skin's panel, the frame around the texts and the bar.
inline constexpr PixelRect kPanelInside{368, 350, 346, 182};

/// The pixels a text box covers: its rectangle with the fractions rounded outwards.
PixelRect BoxPixels(const TextBox& box);

/// True when two rectangles share a pixel.
bool Overlaps(const PixelRect& a, const PixelRect& b);

/// A rate: "12.4 MiB/s" from 1 MiB/s on, else "512 KiB/s".
std::wstring FormatDetailsRate(double bytesPerSecond);
/// Time left, rounded up to whole seconds: "45 s left", "1 min 20 s left", "2 h 5 min left".
std::wstring FormatTimeLeft(double seconds);
/// Bytes of a download: "340 of 812 MiB", "3.4 of 8.0 MiB" below 10 MiB, "120 of 512 KiB" below
/// 1 MiB; without a total (0) only what arrived, in the unit it alone would take.
std::wstring FormatDownloadBytes(std::uint64_t done, std::uint64_t total);
/// The rate, the time left when known and the bytes, joined by " · ":
/// "12.4 MiB/s · 1 min 20 s left · 340 of 812 MiB".
std::wstring FormatDetailsLine(double bytesPerSecond,
                               std::optional<double> secondsLeft,
                               std::uint64_t done,
                               std::uint64_t total);

/// Follows the download events of a run and tells when the details line changes. It measures
/// by TransferMeter's rule, shows nothing before a rate is known, a time left only after 2 s
/// of a download's data, changes at most once a second while a download runs, and empties the
/// line as soon as a download ends or a new one starts.
class DetailsTracker {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    /// Reads the time from clock, by default the steady clock.
    explicit DetailsTracker(Clock clock = {});

    /// Takes an event; the new line when it changed, nothing when it stays as it is.
    std::optional<std::wstring> Take(const ProgressEvent& event);

private:
    std::optional<std::wstring> Show(std::wstring text);
    std::optional<std::wstring> Measure(const ProgressEvent& event);

    Clock clock;
    TransferMeter meter;
    std::optional<std::chrono::steady_clock::time_point> firstData;
    std::optional<std::chrono::steady_clock::time_point> lastChange;
    std::wstring shown;
};

}  // namespace ombrelta
