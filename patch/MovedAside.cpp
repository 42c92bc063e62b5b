#include "patch/MovedAside.h"

#include <filesystem>
#include <system_error>

#include "common/FileSystem.h"

namespace ombrelta {
namespace {

constexpr wchar_t kMovedAsideSuffix[] = L".old";

}  // namespace

std::wstring MovedAsideName(const std::wstring& path) {
    return path + kMovedAsideSuffix;
}

bool MoveAside(const std::wstring& path) {
    // An older one may be left by an update whose program still ran at the last start.
    return RenameFileReplacing(path, MovedAsideName(path));
}

bool MoveBack(const std::wstring& path) {
    return RenameFileReplacing(MovedAsideName(path), path);
}

void RemoveMovedAside(const std::wstring& directory) {
    namespace fs = std::filesystem;
    const fs::path suffix(kMovedAsideSuffix);
    std::error_code listError;
    for (fs::directory_iterator it(ToNativePath(directory), listError), end; !listError && it != end;
         it.increment(listError)) {
        const fs::path& aside = it->path();
        std::error_code error;
        if (aside.extension() != suffix || !it->is_regular_file(error))
            continue;
        // Only what MoveAside leaves: the file that replaced it lies beside it.
        if (fs::exists(fs::path(aside).replace_extension(), error))
            (void)fs::remove(aside, error);
    }
}

}  // namespace ombrelta
