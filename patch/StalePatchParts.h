#pragma once

#include <string>

namespace ombrelta {

/// The folder of the install directory that patch archives are downloaded into.
inline const std::wstring kPatchTempDir = L"_patch_temp";

/// Deletes the parts of patch downloads in installDir's "_patch_temp" that no later download can
/// continue: "NAME.download" whose record "NAME.download.resume" names a version at or below the
/// installed one, or that has no record of its own, and a record without its part. Removes the
/// folder when it is empty then. Nothing else is deleted; failures are ignored.
void RemoveStalePatchParts(const std::wstring& installDir);

}  // namespace ombrelta
