#include "verify/StaleGameFileParts.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "common/AsciiCase.h"
#include "common/FileSystem.h"
#include "common/PartialDownload.h"
#include "common/PathText.h"
#include "common/SafePath.h"
#include "common/Text.h"
#include "verify/EntryFile.h"

namespace ombrelta {
namespace {

namespace fs = std::filesystem;

// Records are a few dozen bytes; anything longer is not one of them.
constexpr std::size_t kRecordLimit = 4096;

using PathKey = fs::path::string_type;
using ListedPaths = std::map<PathKey, const HashEntry*>;

// Windows takes a listed path in any letter case, so a part is looked up the same way.
PathKey KeyOf(const fs::path& path) {
    fs::path normal = path.lexically_normal();
    normal.make_preferred();
    PathKey key = normal.native();
    std::transform(key.begin(), key.end(), key.begin(), LowerAscii<fs::path::value_type>);
    return key;
}

const HashEntry* FindListed(const ListedPaths& listed, const fs::path& path) {
    const auto found = listed.find(KeyOf(path));
    return found == listed.end() ? nullptr : found->second;
}

std::optional<std::string> ReadRecord(const fs::path& record) {
    return ReadSmallFile(Utf8ToWide(PathToUtf8(record)), kRecordLimit);
}

// A part beside a listed file is one this program wrote; beside any other path only its record
// shows that, so a part without one is left alone there.
bool IsStalePart(const fs::path& part, const ListedPaths& listed) {
    const std::optional<std::string> record = ReadRecord(fs::path(part) += ".resume");
    if (const HashEntry* entry = FindListed(listed, fs::path(part).replace_extension()))
        return record != GameFilePartRecord(entry->size, entry->hash);
    return record && IsGameFilePartRecord(*record);
}

bool IsOrphanRecord(const fs::path& record) {
    const fs::path part = fs::path(record).replace_extension();
    std::error_code error;
    if (part.extension() != ".download" || fs::exists(part, error))
        return false;
    const std::optional<std::string> text = ReadRecord(record);
    return text && IsGameFilePartRecord(*text);
}

std::vector<fs::path> StaleFiles(const ListedPaths& listed) {
    std::vector<fs::path> stale;
    std::error_code listError;
    for (fs::recursive_directory_iterator
             it(fs::path("."), fs::directory_options::skip_permission_denied, listError),
         end;
         !listError && it != end; it.increment(listError)) {
        const fs::path& path = it->path();
        std::error_code error;
        if (!it->is_regular_file(error) || FindListed(listed, path))
            continue;
        if (path.extension() == ".download" && IsStalePart(path, listed)) {
            stale.push_back(path);
            stale.push_back(fs::path(path) += ".resume");
        } else if (path.extension() == ".resume" && IsOrphanRecord(path)) {
            stale.push_back(path);
        }
    }
    return stale;
}

}  // namespace

void RemoveStaleGameFileParts(const std::vector<HashEntry>& entries) {
    ListedPaths listed;
    for (const HashEntry& entry : entries) {
        if (IsSafeEntryPath(entry.path))
            listed.emplace(KeyOf(fs::path(".") / ToNativePath(EntryWidePath(entry))), &entry);
    }
    for (const fs::path& path : StaleFiles(listed)) {
        std::error_code error;
        if (!FindListed(listed, path))
            (void)fs::remove(path, error);
    }
}

}  // namespace ombrelta
