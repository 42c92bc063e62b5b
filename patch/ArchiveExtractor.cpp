#include "patch/ArchiveExtractor.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/AsciiCase.h"
#include "common/FailureNote.h"
#include "common/FileSystem.h"
#include "common/Path.h"
#include "common/SafePath.h"
#include "common/Text.h"
#include "patch/DeltaEntry.h"
#include "patch/DeltaHeader.h"
#include "patch/PatchManifest.h"
#include "patch/PatchSignature.h"
#include "patch/StagedFile.h"
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

std::optional<std::wstring> DeltaBaseName(const std::wstring& name) {
    if (!name.ends_with(kDeltaSuffixWide))
        return std::nullopt;
    std::wstring base = name.substr(0, name.size() - kDeltaSuffixWide.size());
    // The root "version.dat" is written last, never from a delta.
    if (base.empty() || IsSeparator(base.back()) || !IsSafeEntryPath(base) || IsRootVersionFile(base))
        return std::wstring();
    return base;
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

bool SafeEntryName(const ZipReader& reader, std::uint32_t i, std::wstring& name) {
    std::string stored;
    return reader.EntryName(i, stored) && DecodeEntryName(stored, reader.HasUtf8Name(i), name);
}

namespace {

// Into a staging file beside the target, which replaces the target only once the entry's size
// and CRC-32 have been checked.
Placement ExtractFile(ZipReader& reader, std::uint32_t i, const std::wstring& target) {
    const std::wstring staging = StagingName(target);
    const std::string stagingUtf8 = WideToUtf8(staging);
    if (stagingUtf8.empty())
        return Placement::Failed;
    if (!reader.ExtractToFile(i, stagingUtf8)) {
        (void)DeleteFileAt(staging);
        return Placement::Failed;
    }
    return PlaceStagedFile(staging, target);
}

struct PendingEntry {
    std::uint32_t index = 0;
    std::wstring name;
    std::wstring target;
};

struct ExtractionContext {
    const std::wstring& destination;
    std::vector<std::wstring>* movedAside;
    DeltaEntries deltas;
    // Leaves out a root "ombrelta.sig": it was checked, and belongs to no installation.
    bool skipSignature;
};

// A base that is missing or differs leaves the file as it is: the file check repairs it whole.
bool ExtractDelta(ZipReader& reader, const PendingEntry& entry, const std::wstring& baseName,
                  const std::wstring& destination, std::vector<std::wstring>* movedAside) {
    if (baseName.empty())
        return false;
    const std::wstring base = JoinPath(destination, baseName);
    const std::wstring staging = StagingName(base);
    const DeltaOutcome outcome = ApplyDeltaEntry(reader, entry.index, base, staging);
    if (outcome != DeltaOutcome::Applied)
        return outcome == DeltaOutcome::BaseDiffers;
    const Placement placement = PlaceStagedFile(staging, base);
    if (placement == Placement::PlacedAfterMovingAside && movedAside != nullptr)
        movedAside->push_back(baseName);
    return placement != Placement::Failed;
}

bool ExtractEntry(ZipReader& reader, const PendingEntry& entry, const ExtractionContext& context) {
    if (reader.IsDirectory(entry.index))
        return CreateDirectories(entry.target);
    if (!EnsureParentDirectories(entry.target))
        return false;
    if (context.deltas == DeltaEntries::Applied) {
        if (const std::optional<std::wstring> baseName = DeltaBaseName(entry.name))
            return ExtractDelta(reader, entry, *baseName, context.destination, context.movedAside);
    }
    const Placement placement = ExtractFile(reader, entry.index, entry.target);
    if (placement == Placement::PlacedAfterMovingAside && context.movedAside != nullptr)
        context.movedAside->push_back(entry.name);
    return placement != Placement::Failed;
}

bool ExtractEntryNoting(ZipReader& reader, const PendingEntry& entry, const ExtractionContext& context) {
    if (ExtractEntry(reader, entry, context))
        return true;
    NoteFailure("in entry " + WideToUtf8(entry.name));
    return false;
}

bool ExtractEntries(ZipReader& reader, const ExtractionContext& context) {
    // The new version file goes last, so that an installation only claims a version once every
    // other file of the patch is in place; a failed patch is then fetched again next time.
    std::vector<PendingEntry> versionFiles;
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        PendingEntry entry;
        entry.index = i;
        if (!SafeEntryName(reader, i, entry.name)) {
            NoteFailure("entry " + std::to_string(i) + " has an unsafe or undecodable name");
            return false;
        }
        if (context.skipSignature && NamesRootFile(entry.name, kPatchSignatureFileName))
            continue;
        entry.target = JoinPath(context.destination, entry.name);
        if (IsRootVersionFile(entry.name)) {
            versionFiles.push_back(std::move(entry));
            continue;
        }
        if (!ExtractEntryNoting(reader, entry, context))
            return false;
    }
    return std::all_of(versionFiles.begin(), versionFiles.end(),
                       [&](const PendingEntry& entry) { return ExtractEntryNoting(reader, entry, context); });
}

}  // namespace

bool ExtractArchive(const std::wstring& archivePath,
                    const std::wstring& destination,
                    std::vector<std::wstring>* movedAside,
                    DeltaEntries deltas) {
    if (!PathExists(archivePath))
        return false;
    if (!CreateDirectories(destination))
        return false;
    const std::string archiveUtf8 = WideToUtf8(archivePath);
    if (archiveUtf8.empty())
        return false;
    ZipReader reader;
    if (!reader.Open(archiveUtf8)) {
        NoteFailure("the archive cannot be read as a zip file");
        return false;
    }
    const bool extracted = ExtractEntries(reader, {destination, movedAside, deltas, false});
    reader.Close();
    return extracted;
}

SignedExtraction ExtractSignedArchive(const std::wstring& archivePath,
                                      const std::wstring& destination,
                                      const RequiredSignature& required,
                                      std::vector<std::wstring>* movedAside,
                                      DeltaEntries deltas) {
    if (!PathExists(archivePath))
        return SignedExtraction::Failed;
    const std::string archiveUtf8 = WideToUtf8(archivePath);
    ZipReader reader;
    if (archiveUtf8.empty() || !reader.Open(archiveUtf8) ||
        !CheckPatchSignature(reader, required.publicKey, required.version))
        return SignedExtraction::SignatureRefused;
    if (!CreateDirectories(destination))
        return SignedExtraction::Failed;
    const bool extracted = ExtractEntries(reader, {destination, movedAside, deltas, true});
    reader.Close();
    return extracted ? SignedExtraction::Extracted : SignedExtraction::Failed;
}

}  // namespace ombrelta
