#include "common/DiskSpace.h"

#include <windows.h>

namespace ombrelta {

std::optional<std::uint64_t> QuerySystemFreeSpace(const std::wstring& directory) {
    // The first count honours the user's disk quota, as the download's writes will.
    ULARGE_INTEGER available{};
    if (directory.find(L'\0') != std::wstring::npos ||
        !GetDiskFreeSpaceExW(directory.c_str(), &available, nullptr, nullptr))
        return std::nullopt;
    return available.QuadPart;
}

}  // namespace ombrelta
