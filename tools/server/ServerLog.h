#pragma once

#include <mutex>
#include <string_view>

namespace ombrelta::server {

/// Whole lines on stderr from any thread; lines of different connections never interleave.
class ServerLog {
public:
    /// Writes text and a line feed, then flushes. Never fails; a closed stderr loses the line.
    void Line(std::string_view text);

private:
    std::mutex mutex_;
};

}  // namespace ombrelta::server
