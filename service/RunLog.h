#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "common/ProgressEvents.h"
#include "config/LauncherConfig.h"
#include "service/LogFile.h"

namespace ombrelta {

/// "ombrelta-launcher.log": the name of the launcher's log beside "version.dat".
inline constexpr wchar_t kLauncherLogName[] = L"ombrelta-launcher.log";

/// Writes what a run did, one LogFile line each, in words a support team reads: the program,
/// the installed version, the keys and the server; every report as shown; every connection,
/// patch, repair and download (what, size, source, bytes, time, rate, window, resumed offset);
/// every failure with its cause; the game's start and end. Never throws; any thread may call.
class RunLog {
public:
    /// Writes to the LogFile at path (see LogFile for limit and clock).
    explicit RunLog(std::wstring path, std::uint64_t limit = kLogFileLimit, LogFile::Clock clock = {})
        : file(std::move(path), limit, std::move(clock)) {}

    /// The opening lines: program and its version, the installed version, the keys in effect
    /// (for `publickey` only that it is set) and the server's address as configured.
    void Started(const std::string& program, std::uint16_t installedVersion, const LauncherConfig& config);
    /// A report as the user sees it: "report 45% Downloading patch 2".
    void Report(const std::wstring& message, std::int32_t percent);
    /// An event of the run; chunk by chunk events (DownloadBytes) and FileChecked, which the
    /// reports already show, write nothing.
    void Event(const ProgressEvent& event);
    /// How a run ended: "run passed", or "run failed: " and the reason.
    void Ended(bool passed, const std::string& reason);
    /// Any other line, as it stands.
    void Line(const std::string& text);

private:
    LogFile file;
};

/// The opt-in keys of options that differ from their defaults, as "key=value" separated by
/// blanks ("publickey set" for a key), or "none".
std::string KeysInEffect(const LauncherOptions& options);

/// One line for an event, or an empty text for those the log leaves out.
std::string EventLine(const ProgressEvent& event);

}  // namespace ombrelta
