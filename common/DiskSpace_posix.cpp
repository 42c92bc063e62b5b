#include "common/DiskSpace.h"

#include <sys/statvfs.h>

#include "common/FileSystem.h"

namespace ombrelta {

std::optional<std::uint64_t> QuerySystemFreeSpace(const std::wstring& directory) {
    struct statvfs volume {};
    if (statvfs(ToNativePath(directory).c_str(), &volume) != 0)
        return std::nullopt;
    // f_bavail, not f_bfree: blocks kept for root are no room for a player's download.
    return static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
}

}  // namespace ombrelta
