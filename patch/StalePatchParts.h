#pragma once

#include <string>

namespace ombrelta {

/// Deletes the parts of patch downloads in installDir's "_patch_temp" that no later download can
/// continue, given the version installDir's "version.dat" holds (SweepPatchParts), and the
/// folder when it is empty then. Nothing else is deleted; failures are ignored.
void RemoveStalePatchParts(const std::wstring& installDir);

}  // namespace ombrelta
