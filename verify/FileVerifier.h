#pragma once

#include <string>

#include "common/ProgressCallback.h"
#include "protocol/HashEntry.h"
#include "protocol/LauncherApi.h"

namespace ombrelta {

/// Checks every file of the server's hash list and downloads again each missing or differing one.
/// True when the whole list was gone through; every failure throws std::runtime_error.
bool VerifyAndRepairFiles(LauncherApi& api, ProgressCallback progress);

/// True when the local file of the entry is missing or its MD5 or size differs.
bool FileNeedsRepair(const HashEntry& entry);

/// The entry's path as a wide path with every separator turned into '\'.
std::wstring EntryWidePath(const HashEntry& entry);

}  // namespace ombrelta
