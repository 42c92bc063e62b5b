#include "patch/StagedFile.h"

#include "common/FileSystem.h"
#include "patch/MovedAside.h"

namespace ombrelta {
namespace {

// The same test that writing over the target would have made: a rename alone would replace a
// read-only file on POSIX, and a running program there too.
bool CanWriteOver(const std::wstring& target) {
    return !PathExists(target) || File::OpenAppend(target).has_value();
}

Placement Place(const std::wstring& staging, const std::wstring& target) {
    if (CanWriteOver(target))
        return RenameFileReplacing(staging, target) ? Placement::Placed : Placement::Failed;
    // A running program can be renamed though not written over: the new file takes its name
    // and the old one lives on as "NAME.old" until the process that uses it has gone.
    if (!IsFileInUse(target) || !MoveAside(target))
        return Placement::Failed;
    if (RenameFileReplacing(staging, target))
        return Placement::PlacedAfterMovingAside;
    (void)MoveBack(target);
    return Placement::Failed;
}

}  // namespace

std::wstring StagingName(const std::wstring& target) {
    return target + L".ombrelta-new";
}

Placement PlaceStagedFile(const std::wstring& staging, const std::wstring& target) {
    const Placement placement = Place(staging, target);
    if (placement == Placement::Failed)
        (void)DeleteFileAt(staging);
    return placement;
}

}  // namespace ombrelta
