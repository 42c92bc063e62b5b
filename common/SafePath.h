#pragma once

#include <string_view>

namespace ombrelta {

/// True when a path received from outside (archive entry, hash list, published content) names a
/// file or folder below its root and nothing else on Windows. False when it is empty, rooted,
/// starts with a drive, or is a UNC or device path; or when an element is "..", holds ':' or a
/// character below 0x20, ends in a dot or a space ("." aside), or before its first dot is a
/// device name (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, any case). Both '\' and '/' separate;
/// empty elements (a trailing separator) and "." are allowed.
bool IsSafeEntryPath(std::string_view path);
bool IsSafeEntryPath(std::wstring_view path);

/// True when a name received from outside names one file directly in its folder: a single
/// element that IsSafeEntryPath takes, without a separator, and neither empty nor ".".
bool IsSafeFileName(std::string_view name);

/// Throws std::runtime_error "Unsafe file path: " followed by the path as received when
/// IsSafeEntryPath says no.
void RequireSafeEntryPath(std::string_view path);

}  // namespace ombrelta
