#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ombrelta {

/// What the live line of ombrelta-check shows.
struct LiveStatus {
    /// The latest report's text and percent.
    std::wstring text;
    std::int32_t percent = 0;
    /// Whether that report came with chunk data; only then are the fields below shown.
    bool downloading = false;
    /// Bytes of the download in place, and its size (0: unknown).
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    /// Receive rate over the last seconds; nothing until there is enough to measure.
    std::optional<double> bytesPerSecond = std::nullopt;
    /// Seconds until the download is complete; nothing when it cannot be told.
    std::optional<double> secondsLeft = std::nullopt;
};

/// What the summary line counts over a whole run.
struct RunSummary {
    std::uint64_t bytesDownloaded = 0;
    double seconds = 0;
    int filesRepaired = 0;
};

/// The live line, padded with blanks to width - 3 columns so that it covers the line drawn before
/// it and leaves room for an echoed "^C" before the last column: percent, a bar, for
/// downloads "MiB done/total", speed and time left, then the report's text, shortened in its
/// middle to fit. Never holds a control character.
std::string FormatLiveLine(const LiveStatus& status, std::size_t width);

/// "Downloaded 64.0 MiB in 0:32, 2.00 MiB/s on average, 1 file repaired."
std::string FormatSummary(const RunSummary& summary);

/// Bytes as MiB with one decimal: "28.8".
std::string FormatMiB(std::uint64_t bytes);
/// A rate: "2.00 MiB/s" from (nearly) 1 MiB/s on, else "512 KiB/s".
std::string FormatRate(double bytesPerSecond);
/// Whole seconds, rounded up, as "M:SS" or "H:MM:SS".
std::string FormatDuration(double seconds);

}  // namespace ombrelta
