#include "patch/StalePatchParts.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "common/PartialDownload.h"
#include "common/Path.h"
#include "common/PathText.h"
#include "common/Text.h"
#include "config/LocalVersion.h"

namespace ombrelta {
namespace {

namespace fs = std::filesystem;

// Records are a few dozen bytes; anything longer is not one of them.
constexpr std::size_t kRecordLimit = 4096;

// A part may go when its record cannot lead a later download of a newer patch to it.
bool IsStalePart(const fs::path& part, std::uint16_t installedVersion) {
    const std::optional<std::string> record =
        ReadSmallFile(Utf8ToWide(PathToUtf8(part)) + L".resume", kRecordLimit);
    const std::optional<std::uint16_t> version =
        record ? PatchPartVersion(*record, PathToUtf8(fs::path(part).replace_extension().filename()))
               : std::nullopt;
    return !version || *version <= installedVersion;
}

}  // namespace

void RemoveStalePatchParts(const std::wstring& installDir) {
    const std::wstring tempDir = JoinPath(installDir, kPatchTempDir);
    const std::uint16_t installedVersion = ReadLocalVersion(installDir, L"version.dat");
    const fs::path partExtension(".download"), recordExtension(".resume");
    std::vector<fs::path> stale;
    std::error_code listError;
    for (fs::directory_iterator it(ToNativePath(tempDir), listError), end; !listError && it != end;
         it.increment(listError)) {
        const fs::path& path = it->path();
        std::error_code error;
        if (!it->is_regular_file(error))
            continue;
        if (path.extension() == partExtension && IsStalePart(path, installedVersion)) {
            stale.push_back(path);
            stale.push_back(fs::path(path) += recordExtension);
        } else if (path.extension() == recordExtension &&
                   fs::path(path).replace_extension().extension() == partExtension &&
                   !fs::exists(fs::path(path).replace_extension(), error)) {
            stale.push_back(path);
        }
    }
    for (const fs::path& path : stale) {
        std::error_code error;
        (void)fs::remove(path, error);
    }
    (void)RemoveEmptyDirectory(tempDir);
}

}  // namespace ombrelta
