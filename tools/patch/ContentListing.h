#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ombrelta::patchkit {

/// What a content root serves, as lines for an operator: one per patch in version order (version,
/// name, size, file entries whole and delta, signature state), then the game files' count and
/// bytes and the state of their signed list, then the newest version. Content the server would
/// refuse gives its faults in problems and no lines.
std::vector<std::string> ListContent(const std::filesystem::path& root, std::vector<std::string>& problems);

}  // namespace ombrelta::patchkit
