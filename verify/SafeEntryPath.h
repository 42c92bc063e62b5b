#pragma once

#include <string_view>

namespace ombrelta {

/// True when a hash list path stays below the working directory: not empty, not absolute or
/// rooted, no drive, UNC or device prefix, no ".." element and no NUL byte.
bool IsSafeEntryPath(std::string_view path);

/// Throws std::runtime_error "Unsafe file path: " followed by the path as received when
/// IsSafeEntryPath says no.
void RequireSafeEntryPath(std::string_view path);

}  // namespace ombrelta
