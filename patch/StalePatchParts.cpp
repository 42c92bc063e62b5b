#include "patch/StalePatchParts.h"

#include "common/PartialDownload.h"
#include "config/LocalVersion.h"

namespace ombrelta {

void RemoveStalePatchParts(const std::wstring& installDir) {
    SweepPatchParts(installDir, ReadLocalVersion(installDir, L"version.dat"));
}

}  // namespace ombrelta
