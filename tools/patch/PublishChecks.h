#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/patch/Publisher.h"

namespace ombrelta::patchkit {

/// True when something (a link too) lies at path.
bool PathPresent(const std::filesystem::path& path);

/// A path as the tool prints it: UTF-8, escaped for a log line.
std::string ShownPath(const std::filesystem::path& path);

/// The name a published patch gets: "patchN.zip".
std::string PatchFileName(std::uint16_t version);

/// The file a publication keeps in ROOT/.publish while it moves trees and the patch into place;
/// found there later, it tells that a publication was cut short in the middle of that.
inline constexpr const char* kPublishMarker = "swapping";

/// Every reason to refuse request before anything is touched, one line each: a root that is not
/// a folder or holds neither patches/ nor files/ (an empty folder may start one), a new tree that
/// is not a folder, is or lies inside ROOT/files, holds the root, or lies on another file system,
/// a version that does not follow the newest patch, a patch name already taken, no key while the
/// served files or the new tree have an "ombrelta-files.sig", a reload pid file that does not
/// exist, and the marker of a publication cut short.
std::vector<std::string> PublishRefusals(const PublishRequest& request);

}  // namespace ombrelta::patchkit
