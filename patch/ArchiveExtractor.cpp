#include "patch/ArchiveExtractor.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/FailureNote.h"
#include "common/FileSystem.h"
#include "common/Path.h"
#include "common/Text.h"
#include "patch/DeltaEntry.h"
#include "patch/PatchManifest.h"
#include "patch/PatchSignature.h"
#include "patch/StagedFile.h"
#include "patch/ZipEntryName.h"
#include "patch/ZipReader.h"

namespace ombrelta {
namespace {

// Into a staging file beside the target, which replaces the target only once the entry's size
// and CRC-32 have been checked.
StagedFilePlacement ExtractFile(ZipReader& reader, std::uint32_t i, const std::wstring& target) {
    const std::wstring staging = StagingName(target);
    const std::string stagingUtf8 = WideToUtf8(staging);
    if (stagingUtf8.empty())
        return StagedFilePlacement::Failed;
    if (!reader.ExtractToFile(i, stagingUtf8)) {
        (void)DeleteFileAt(staging);
        return StagedFilePlacement::Failed;
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

// A base that is missing or differs, or a result that cannot be mapped (a 32-bit process short of
// address space), leaves the file as it is: the file check repairs it whole. Failing the patch
// instead would fail it again on every run.
bool ExtractDelta(ZipReader& reader, const PendingEntry& entry, const DeltaBase& deltaBase,
                  const std::wstring& destination, std::vector<std::wstring>* movedAside) {
    if (deltaBase.kind != DeltaBaseKind::File)
        return false;
    const std::wstring& baseName = deltaBase.file;
    const std::wstring base = JoinPath(destination, baseName);
    const std::wstring staging = StagingName(base);
    const DeltaOutcome outcome = ApplyDeltaEntry(reader, entry.index, base, staging);
    if (outcome != DeltaOutcome::Applied)
        return outcome == DeltaOutcome::BaseDiffers || outcome == DeltaOutcome::ResultNotMapped;
    const StagedFilePlacement placement = PlaceStagedFile(staging, base);
    if (placement == StagedFilePlacement::PlacedAfterMovingAside && movedAside != nullptr)
        movedAside->push_back(baseName);
    return placement != StagedFilePlacement::Failed;
}

// A folder that cannot be created is noted with the system's error.
bool FolderMade(bool made) {
    if (!made)
        NoteFailure("cannot create a folder: " + SystemErrorText());
    return made;
}

bool ExtractEntry(ZipReader& reader, const PendingEntry& entry, const ExtractionContext& context) {
    if (reader.IsDirectory(entry.index))
        return FolderMade(CreateDirectories(entry.target));
    if (!FolderMade(EnsureParentDirectories(entry.target)))
        return false;
    if (context.deltas == DeltaEntries::Applied) {
        const DeltaBase deltaBase = DeltaBaseName(entry.name);
        if (deltaBase.kind != DeltaBaseKind::NotDelta)
            return ExtractDelta(reader, entry, deltaBase, context.destination, context.movedAside);
    }
    const StagedFilePlacement placement = ExtractFile(reader, entry.index, entry.target);
    if (placement == StagedFilePlacement::PlacedAfterMovingAside && context.movedAside != nullptr)
        context.movedAside->push_back(entry.name);
    return placement != StagedFilePlacement::Failed;
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
