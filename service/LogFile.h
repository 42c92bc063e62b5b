#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "common/FileSystem.h"

namespace ombrelta {

/// The size a log file may reach before it moves aside.
inline constexpr std::uint64_t kLogFileLimit = 1024 * 1024;

/// A plain UTF-8 log: one line per call, each after its local time stamp to the millisecond
/// ("2026-12-08 09:41:07.254 "). At most limit bytes: when the file already holds limit bytes
/// or more at the first line, or a line would take it past limit, it is renamed to path +
/// ".1" (replacing an older one) and a new file begun. A line that cannot be written is
/// dropped without a word: the log never changes what the program does. Any thread may write.
class LogFile {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    explicit LogFile(std::wstring path, std::uint64_t limit = kLogFileLimit, Clock clock = {});

    /// Appends the time stamp, line (control characters shown as '?') and a line end. Never throws.
    void Write(const std::string& line);

private:
    bool Open(std::uint64_t nextLine);

    std::mutex mutex;
    std::wstring path;
    std::uint64_t limit;
    Clock clock;
    std::optional<File> file;
    std::uint64_t size = 0;
};

/// The local time of at as "YYYY-MM-DD HH:MM:SS.mmm".
std::string LocalTimeStamp(std::chrono::system_clock::time_point at);

}  // namespace ombrelta
