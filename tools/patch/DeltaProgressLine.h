#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ombrelta::patchkit {

/// The text of the live line of `make --delta`: "delta FILE: DONE/SIZE MiB, RATE" (the rate left
/// out until it is known), a FILE over 48 characters losing its middle to "...".
std::string FormatDeltaProgress(const std::string& file,
                                std::uint64_t done,
                                std::uint64_t size,
                                std::optional<double> bytesPerSecond);

/// The live line `make --delta` keeps on a terminal while it makes a delta: the file, the MiB of
/// it done and the pace since the file began, redrawn in place at most 10 times a second.
class DeltaProgressLine {
public:
    using Clock = std::chrono::steady_clock;
    using Write = std::function<void(std::string_view)>;

    /// Draws on standard error when that is a terminal; otherwise draws nothing.
    DeltaProgressLine();
    /// Draws through write.
    explicit DeltaProgressLine(Write write);
    /// Blanks the line if it is still shown.
    ~DeltaProgressLine();
    DeltaProgressLine(const DeltaProgressLine&) = delete;
    DeltaProgressLine& operator=(const DeltaProgressLine&) = delete;

    /// A callback for PatchRequest::deltaProgress that updates this line; empty when nothing is
    /// drawn. The line must outlive it.
    std::function<void(const std::string&, std::uint64_t, std::uint64_t)> Callback();
    /// Notes the progress of file at now: drawn at once for a new file or a finished one, else
    /// when 100 ms have passed since the last drawing.
    void Update(const std::string& file, std::uint64_t done, std::uint64_t size, Clock::time_point now);
    /// Blanks the line, leaving the cursor at its start, so that other output can follow.
    void Clear();

private:
    Write write;
    std::string file;
    Clock::time_point fileStart;
    std::optional<Clock::time_point> lastDrawn;
    std::size_t shownWidth = 0;
};

}  // namespace ombrelta::patchkit
