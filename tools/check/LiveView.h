#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/ProgressEvents.h"
#include "common/TransferMeter.h"
#include "protocol/ChunkTraffic.h"
#include "tools/check/LiveLine.h"

namespace ombrelta {

/// What a LiveView draws on.
struct LiveTerminal {
    /// The terminal's width in columns.
    std::function<std::size_t()> columns;
    /// Writes bytes at once, unbuffered.
    std::function<void(std::string_view)> write;
    std::function<std::chrono::steady_clock::time_point()> clock;
};

/// ombrelta-check's view on a terminal: one line that every report updates and that is drawn
/// again in place ("\r" and the whole line, nothing else, so it never flickers) at most every
/// 100 ms. Download figures come from the connection's traffic, read as each report arrives.
class LiveView {
public:
    LiveView(const ChunkTraffic& traffic, LiveTerminal terminal);
    /// Ends a line left open, so that whatever is printed next (an error on the way out) starts
    /// on a line of its own.
    ~LiveView();
    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    /// Takes a report of the run; draws it unless a frame went out less than 100 ms ago.
    void Report(const std::wstring& message, std::int32_t percent);
    /// Takes an event of the run: a repair is counted once RepairDone tells it is in place, and
    /// each download's time left starts afresh.
    void Event(const ProgressEvent& event);
    /// Ends the live line with its latest report and prints line below it.
    void PrintLine(const std::string& line);
    /// Ends the live line with its latest report and prints the run's summary.
    void Finish();

private:
    void Draw(bool now);
    void EndLine();

    const ChunkTraffic& traffic;
    LiveTerminal terminal;
    TransferMeter meter;
    LiveStatus status;
    std::chrono::steady_clock::time_point started;
    std::optional<std::chrono::steady_clock::time_point> lastFrame;
    bool drawnLatest = true;
    bool lineOpen = false;
    std::uint64_t receivedAtStart = 0;
    std::uint64_t receivedAtLastReport = 0;
    int filesRepaired = 0;
};

}  // namespace ombrelta
