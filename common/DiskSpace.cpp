#include "common/DiskSpace.h"

#include <utility>

#include "common/FileSystem.h"

namespace ombrelta {
namespace {

FreeSpaceQuery& ReplacedQuery() {
    static FreeSpaceQuery query;
    return query;
}

// Directories a download creates do not exist yet; the volume is the one of the first that does.
std::optional<std::wstring> NearestExistingDirectory(std::wstring path) {
    for (;;) {
        const std::size_t end = path.find_last_of(L"\\/");
        if (end == std::wstring::npos)
            return IsDirectory(L".") ? std::optional<std::wstring>(L".") : std::nullopt;
        // The separator stays, so that a root ("/", "C:\") is asked as such.
        path.resize(end + 1);
        if (IsDirectory(path))
            return path;
        path.resize(end);
        if (path.empty())
            return std::nullopt;
    }
}

}  // namespace

std::optional<std::uint64_t> FreeDiskSpace(const std::wstring& path) {
    const std::optional<std::wstring> directory = NearestExistingDirectory(path);
    if (!directory)
        return std::nullopt;
    const FreeSpaceQuery& replaced = ReplacedQuery();
    return replaced ? replaced(*directory) : QuerySystemFreeSpace(*directory);
}

bool DiskSpaceFits(const std::wstring& path, std::uint64_t needed, std::uint64_t reclaimed) {
    const std::optional<std::uint64_t> free = FreeDiskSpace(path);
    return !free || needed <= *free || needed - *free <= reclaimed;
}

void SetFreeSpaceQuery(FreeSpaceQuery query) {
    ReplacedQuery() = std::move(query);
}

}  // namespace ombrelta
