#pragma once

#include <functional>
#include <string>

#include "protocol/HashEntry.h"
#include "verify/FileHash.h"

namespace ombrelta {

class VerifiedFileCache;

/// The entry's path as a wide path with every separator turned into '\'.
std::wstring EntryWidePath(const HashEntry& entry);

/// True when the local file of the entry is missing, its size differs or its MD5 differs
/// (letter case aside); an unreadable file needs repair too. Never throws.
bool FileNeedsRepair(const HashEntry& entry);

/// FileNeedsRepair that reads the file through hash(), and only when its size matches and the
/// cache (when given) does not vouch for it; the cache learns what the reading found.
bool FileNeedsRepairWith(const HashEntry& entry,
                         const std::function<HashedFile()>& hash,
                         VerifiedFileCache* cache);

}  // namespace ombrelta
