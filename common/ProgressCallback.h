#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ombrelta {

/// Receives a status text and a percent (0 to 100) from a worker, synchronously on the worker's
/// thread. May be empty; an empty callback is never called.
using ProgressCallback = std::function<void(const std::wstring& message, std::int32_t percent)>;

/// Calls progress when it holds a target.
inline void Report(const ProgressCallback& progress, const std::wstring& message, std::int32_t percent) {
    if (progress)
        progress(message, percent);
}

}  // namespace ombrelta
