#include "patch/ArchiveExtractor.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/FileSystem.h"
#include "common/Path.h"
#include "common/SafePath.h"
#include "common/Text.h"
#include "patch/ZipEntryName.h"
#include "patch/ZipReader.h"

namespace ombrelta {
namespace {

constexpr std::wstring_view kVersionFileName = L"version.dat";

wchar_t AsciiLower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// The pieces between separators, empty ones included.
std::vector<std::wstring_view> Elements(std::wstring_view name) {
    std::vector<std::wstring_view> elements;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsSeparator(name[i]))
            continue;
        elements.push_back(name.substr(start, i - start));
        start = i + 1;
    }
    return elements;
}

}  // namespace

// Every spelling that Windows resolves to the root "version.dat" counts: any letter case, "."
// and empty elements around it, and the trailing dots and spaces Windows drops from a name.
bool IsRootVersionFile(const std::wstring& name) {
    std::wstring_view element;
    for (std::wstring_view piece : Elements(name)) {
        if (piece.empty() || piece == L".")
            continue;
        if (!element.empty())
            return false;
        element = piece;
    }
    while (!element.empty() && (element.back() == L'.' || element.back() == L' '))
        element.remove_suffix(1);
    return std::equal(element.begin(), element.end(), kVersionFileName.begin(), kVersionFileName.end(),
                      [](wchar_t a, wchar_t b) { return AsciiLower(a) == b; });
}

bool DecodeEntryName(std::string_view stored, bool flaggedUtf8, std::wstring& name) {
    if (stored.empty())
        return false;
    // The file system would cut the path at a NUL, so the checked name would not be the one used.
    if (stored.find('\0') != std::string::npos)
        return false;
    name = zip::DecodeEntryName(stored, flaggedUtf8);
    if (name.empty())
        return false;
    std::replace(name.begin(), name.end(), L'/', L'\\');
    return IsSafeEntryPath(name);
}

namespace {

bool SafeEntryName(const ZipReader& reader, std::uint32_t i, std::wstring& name) {
    std::string stored;
    return reader.EntryName(i, stored) && DecodeEntryName(stored, reader.HasUtf8Name(i), name);
}

bool ExtractEntry(ZipReader& reader, std::uint32_t i, const std::wstring& target) {
    if (reader.IsDirectory(i))
        return CreateDirectories(target);
    if (!EnsureParentDirectories(target))
        return false;
    const std::string targetUtf8 = WideToUtf8(target);
    return !targetUtf8.empty() && reader.ExtractToFile(i, targetUtf8);
}

struct PendingEntry {
    std::uint32_t index = 0;
    std::wstring target;
};

bool ExtractEntries(ZipReader& reader, const std::wstring& destination) {
    // The new version file goes last, so that an installation only claims a version once every
    // other file of the patch is in place; a failed patch is then fetched again next time.
    std::vector<PendingEntry> versionFiles;
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        std::wstring name;
        if (!SafeEntryName(reader, i, name))
            return false;
        std::wstring target = JoinPath(destination, name);
        if (IsRootVersionFile(name)) {
            versionFiles.push_back({i, std::move(target)});
            continue;
        }
        if (!ExtractEntry(reader, i, target))
            return false;
    }
    return std::all_of(versionFiles.begin(), versionFiles.end(), [&](const PendingEntry& entry) {
        return ExtractEntry(reader, entry.index, entry.target);
    });
}

}  // namespace

bool ExtractArchive(const std::wstring& archivePath, const std::wstring& destination) {
    if (!PathExists(archivePath))
        return false;
    if (!CreateDirectories(destination))
        return false;
    const std::string archiveUtf8 = WideToUtf8(archivePath);
    if (archiveUtf8.empty())
        return false;
    ZipReader reader;
    if (!reader.Open(archiveUtf8))
        return false;
    const bool extracted = ExtractEntries(reader, destination);
    reader.Close();
    return extracted;
}

}  // namespace ombrelta
