#pragma once

#include <string>
#include <string_view>

namespace ombrelta {

/// Extracts every entry of a zip archive below destination, in central-directory order, except
/// that the root "version.dat" is written last and only when every other entry succeeded.
/// False at the first failure (missing archive, unreadable archive, unsafe or undecodable
/// entry name, write or check failure); entries written before it stay.
bool ExtractArchive(const std::wstring& archivePath, const std::wstring& destination);

/// The stored name of an archive entry as the path extraction uses below the destination:
/// decoded (UTF-8 when flaggedUtf8 or valid as such, else code page 437), '/' turned into '\'.
/// False when extraction refuses the name (empty, a NUL byte, nothing left after decoding, or
/// refused by the safe-path rule).
bool DecodeEntryName(std::string_view stored, bool flaggedUtf8, std::wstring& name);

/// True when a decoded entry name is the root "version.dat" in any spelling Windows takes for
/// it; extraction writes such entries after all others.
bool IsRootVersionFile(const std::wstring& name);

}  // namespace ombrelta
