#include "patch/StagedFile.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "common/FailureNote.h"
#include "common/FileSystem.h"
#include "common/Text.h"
#include "patch/MovedAside.h"

namespace ombrelta {
namespace {

// The same test that writing over the target would have made: a rename alone would replace a
// read-only file on POSIX, and a running program there too.
bool CanWriteOver(const std::wstring& target) {
    return !PathExists(target) || File::OpenAppend(target).has_value();
}

// The checked bytes written over the target in place, with the staging file's time.
bool CopyOver(const std::wstring& staging, const std::wstring& target) {
    std::optional<File> in = File::OpenRead(staging);
    std::optional<File> out = in ? File::OpenWrite(target) : std::nullopt;
    if (!out)
        return false;
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (;;) {
        const std::optional<std::size_t> got = in->Read(buffer.data(), buffer.size());
        if (!got)
            return false;
        if (*got == 0)
            break;
        if (!out->Write(buffer.data(), *got))
            return false;
    }
    if (!out->Close())
        return false;
    std::error_code ignored;
    std::filesystem::last_write_time(ToNativePath(target),
                                     std::filesystem::last_write_time(ToNativePath(staging), ignored), ignored);
    (void)in->Close();
    return DeleteFileAt(staging);
}

StagedFilePlacement Place(const std::wstring& staging, const std::wstring& target) {
    if (CanWriteOver(target)) {
        // A file another program holds open sharing writes but not deletion can be written over,
        // though not replaced.
        if (RenameFileReplacing(staging, target) || CopyOver(staging, target))
            return StagedFilePlacement::Placed;
        return StagedFilePlacement::Failed;
    }
    // A running program can be renamed though not written over: the new file takes its name
    // and the old one lives on as "NAME.old" until the process that uses it has gone.
    if (!IsFileInUse(target) || !MoveAside(target))
        return StagedFilePlacement::Failed;
    if (RenameFileReplacing(staging, target))
        return StagedFilePlacement::PlacedAfterMovingAside;
    (void)MoveBack(target);
    return StagedFilePlacement::Failed;
}

}  // namespace

std::wstring StagingName(const std::wstring& target) {
    return target + L".ombrelta-new";
}

StagedFilePlacement PlaceStagedFile(const std::wstring& staging, const std::wstring& target) {
    const StagedFilePlacement placement = Place(staging, target);
    if (placement == StagedFilePlacement::Failed) {
        NoteFailure("cannot put " + WideToUtf8(target) + " in place: " + SystemErrorText());
        (void)DeleteFileAt(staging);
    }
    return placement;
}

}  // namespace ombrelta
