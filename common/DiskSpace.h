#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace ombrelta {

/// Bytes this user may still write on the volume that holds path, asked of the nearest existing
/// directory above it (path need not exist yet; a relative path starts from the working
/// directory); nothing when the system cannot tell.
std::optional<std::uint64_t> FreeDiskSpace(const std::wstring& path);

/// Whether needed bytes fit on path's volume once reclaimed bytes (files the download replaces
/// or continues) are counted as free; true when the free space is unknown.
bool DiskSpaceFits(const std::wstring& path, std::uint64_t needed, std::uint64_t reclaimed);

/// Asks of an existing directory what FreeDiskSpace tells.
using FreeSpaceQuery = std::function<std::optional<std::uint64_t>(const std::wstring& directory)>;

/// Replaces the system's answer for the rest of the process; an empty query restores it. For
/// tests, which cannot fill a volume at will.
void SetFreeSpaceQuery(FreeSpaceQuery query);

/// The system's answer for an existing directory; nothing on any failure.
std::optional<std::uint64_t> QuerySystemFreeSpace(const std::wstring& directory);

}  // namespace ombrelta
