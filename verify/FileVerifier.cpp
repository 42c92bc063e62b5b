#include "verify/FileVerifier.h"

#include <functional>
#include <string_view>
#include <vector>

#include "common/ComputerName.h"
#include "common/FileSystem.h"
#include "common/Text.h"
#include "verify/FileHash.h"
#include "verify/GameFileDownload.h"
#include "verify/HashAhead.h"
#include "verify/SafeEntryPath.h"

namespace ombrelta {
namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

// The run ends at the first unsafe entry, so nothing from there on is hashed ahead.
std::size_t FirstUnsafeEntry(const std::vector<HashEntry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!IsSafeEntryPath(entries[i].path))
            return i;
    }
    return entries.size();
}

// FileNeedsRepair with the digest taken from digest(), asked only when the size matches.
bool FileNeedsRepairWith(const HashEntry& entry, const std::function<std::string()>& digest) {
    const std::wstring pathW = EntryWidePath(entry);
    if (!PathExists(pathW))
        return true;
    // A file of another size needs repair whatever its digest, so it is not read at all.
    std::optional<std::uint64_t> size = GetFileSize(pathW);
    if (!size || *size != entry.size)
        return true;
    const std::string actual = digest();
    if (actual.empty())
        return true;
    return !EqualIgnoringAsciiCase(actual, entry.hash);
}

}  // namespace

std::wstring EntryWidePath(const HashEntry& entry) {
    std::wstring pathW = Utf8ToWide(entry.path);
    for (wchar_t& c : pathW) {
        if (c == L'/')
            c = L'\\';
    }
    return pathW;
}

bool FileNeedsRepair(const HashEntry& entry) {
    return FileNeedsRepairWith(entry, [&] { return ComputeFileMd5(EntryWidePath(entry)); });
}

bool VerifyAndRepairFiles(LauncherApi& api, ProgressCallback progress, int chunkWindow) {
    const std::string clientName = GetComputerNameNarrow().value_or("UNKNOWN");
    const std::vector<HashEntry> entries = api.GetHashList(clientName);
    const std::size_t count = entries.size();
    HashAhead ahead(entries, FirstUnsafeEntry(entries), HashAheadThreadCount());
    std::int32_t done = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const HashEntry& entry = entries[i];
        RequireSafeEntryPath(entry.path);
        ahead.Reached(i);
        const std::wstring pathW = EntryWidePath(entry);
        if (FileNeedsRepairWith(entry, [&] { return ahead.Digest(i); })) {
            if (progress)
                progress(L"Repairing " + pathW, 0);
            HashAhead::RewriteScope rewrite(ahead);
            DownloadGameFile(api, entry, progress, chunkWindow);
        }
        done += 100;
        if (progress)
            progress(L"Checking " + pathW, done / static_cast<std::int32_t>(count));
    }
    return true;
}

}  // namespace ombrelta
