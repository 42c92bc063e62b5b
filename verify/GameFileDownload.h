#pragma once

#include "common/ProgressCallback.h"
#include "protocol/HashEntry.h"
#include "protocol/LauncherApi.h"

namespace ombrelta {

/// Downloads one game file chunk by chunk over its local copy (relative to the working
/// directory). True once the last chunk is written; every failure throws std::runtime_error.
bool DownloadGameFile(LauncherApi& api, const HashEntry& entry, ProgressCallback progress);

}  // namespace ombrelta
