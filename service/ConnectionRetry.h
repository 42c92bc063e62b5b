#pragma once

#include <string>

namespace ombrelta {

/// Seconds to wait before a reconnection after failedInARow attempts that could not connect:
/// 1, 2, 4, then 8 for ever.
int RetryDelaySeconds(int failedInARow);

/// "Connection lost, retrying in S s (K of N)...".
std::wstring RetryReportText(int seconds, int attempt, int retries);

}  // namespace ombrelta
