#include "service/ConnectionRetry.h"

#include <algorithm>

namespace ombrelta {

int RetryDelaySeconds(int failedInARow) {
    return 1 << std::clamp(failedInARow, 0, 3);
}

std::wstring RetryReportText(int seconds, int attempt, int retries) {
    return L"Connection lost, retrying in " + std::to_wstring(seconds) + L" s (" + std::to_wstring(attempt) + L" of " +
           std::to_wstring(retries) + L")...";
}

}  // namespace ombrelta
