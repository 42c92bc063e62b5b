#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ombrelta {

/// Receives a status text and a percent (0 to 100) from a worker, synchronously on the worker's
/// thread. May be empty; an empty callback is never called.
using ProgressCallback = std::function<void(const std::wstring& message, std::int32_t percent)>;

/// done as a whole percent of total: rounded down, at most 100, and 0 for a total of 0.
inline std::int32_t PercentOf(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 0 : static_cast<std::int32_t>(done >= total ? 100 : done * 100 / total);
}

/// Calls progress when it holds a target.
inline void Report(const ProgressCallback& progress, const std::wstring& message, std::int32_t percent) {
    if (progress)
        progress(message, percent);
}

}  // namespace ombrelta
