#include "patch/ArchiveExtractor.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/AsciiCase.h"
#include "common/FileSystem.h"
#include "common/Path.h"
#include "common/SafePath.h"
#include "common/Text.h"
#include "patch/MovedAside.h"
#include "patch/PatchManifest.h"
#include "patch/PatchSignature.h"
#include "patch/ZipEntryName.h"
#include "patch/ZipReader.h"

namespace ombrelta {
namespace {

constexpr std::wstring_view kVersionFileName = L"version.dat";

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

// Every spelling that Windows resolves to the same root file counts: any letter case, "." and
// empty elements around it, and the trailing dots and spaces Windows drops from a name.
bool NamesRootFile(const std::wstring& name, std::wstring_view fileName) {
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
    return EqualsIgnoringAsciiCase(element, fileName);
}

bool IsRootVersionFile(const std::wstring& name) {
    return NamesRootFile(name, kVersionFileName);
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

enum class FileWrite { Failed, Written, WrittenAfterMovingAside };

FileWrite ExtractFile(ZipReader& reader, std::uint32_t i, const std::wstring& target) {
    const std::string targetUtf8 = WideToUtf8(target);
    if (targetUtf8.empty())
        return FileWrite::Failed;
    if (reader.ExtractToFile(i, targetUtf8))
        return FileWrite::Written;
    // A running program can be renamed though not written over: the new file takes its name
    // and the old one lives on as "NAME.old" until the process that uses it has gone.
    if (!IsFileInUse(target) || !MoveAside(target))
        return FileWrite::Failed;
    if (reader.ExtractToFile(i, targetUtf8))
        return FileWrite::WrittenAfterMovingAside;
    (void)MoveBack(target);
    return FileWrite::Failed;
}

struct PendingEntry {
    std::uint32_t index = 0;
    std::wstring name;
    std::wstring target;
};

bool ExtractEntry(ZipReader& reader, const PendingEntry& entry, std::vector<std::wstring>* movedAside) {
    if (reader.IsDirectory(entry.index))
        return CreateDirectories(entry.target);
    if (!EnsureParentDirectories(entry.target))
        return false;
    const FileWrite write = ExtractFile(reader, entry.index, entry.target);
    if (write == FileWrite::WrittenAfterMovingAside && movedAside != nullptr)
        movedAside->push_back(entry.name);
    return write != FileWrite::Failed;
}

// skipSignature leaves out a root "ombrelta.sig": it was checked, and belongs to no installation.
bool ExtractEntries(ZipReader& reader,
                    const std::wstring& destination,
                    std::vector<std::wstring>* movedAside,
                    bool skipSignature) {
    // The new version file goes last, so that an installation only claims a version once every
    // other file of the patch is in place; a failed patch is then fetched again next time.
    std::vector<PendingEntry> versionFiles;
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        PendingEntry entry;
        entry.index = i;
        if (!SafeEntryName(reader, i, entry.name))
            return false;
        if (skipSignature && NamesRootFile(entry.name, kPatchSignatureFileName))
            continue;
        entry.target = JoinPath(destination, entry.name);
        if (IsRootVersionFile(entry.name)) {
            versionFiles.push_back(std::move(entry));
            continue;
        }
        if (!ExtractEntry(reader, entry, movedAside))
            return false;
    }
    return std::all_of(versionFiles.begin(), versionFiles.end(),
                       [&](const PendingEntry& entry) { return ExtractEntry(reader, entry, movedAside); });
}

}  // namespace

bool ExtractArchive(const std::wstring& archivePath,
                    const std::wstring& destination,
                    std::vector<std::wstring>* movedAside) {
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
    const bool extracted = ExtractEntries(reader, destination, movedAside, false);
    reader.Close();
    return extracted;
}

SignedExtraction ExtractSignedArchive(const std::wstring& archivePath,
                                      const std::wstring& destination,
                                      const RequiredSignature& required,
                                      std::vector<std::wstring>* movedAside) {
    if (!PathExists(archivePath))
        return SignedExtraction::Failed;
    const std::string archiveUtf8 = WideToUtf8(archivePath);
    ZipReader reader;
    if (archiveUtf8.empty() || !reader.Open(archiveUtf8) ||
        !CheckPatchSignature(reader, required.publicKey, required.version))
        return SignedExtraction::SignatureRefused;
    if (!CreateDirectories(destination))
        return SignedExtraction::Failed;
    const bool extracted = ExtractEntries(reader, destination, movedAside, true);
    reader.Close();
    return extracted ? SignedExtraction::Extracted : SignedExtraction::Failed;
}

}  // namespace ombrelta
