#pragma once

#include <string>

namespace ombrelta {

/// Extracts every entry of a zip archive below destination, in central-directory order, except
/// that the root "version.dat" is written last and only when every other entry succeeded.
/// False at the first failure (missing archive, unreadable archive, unsafe or undecodable
/// entry name, write or check failure); entries written before it stay.
bool ExtractArchive(const std::wstring& archivePath, const std::wstring& destination);

}  // namespace ombrelta
