#include "patch/PatchService.h"

#include <set>
#include <utility>

#include "common/ComputerName.h"
#include "common/DiskSpace.h"
#include "common/FailureNote.h"
#include "common/FileSystem.h"
#include "common/MirrorUrl.h"
#include "common/PartialDownload.h"
#include "common/Path.h"
#include "common/SafePath.h"
#include "common/Text.h"
#include "config/LocalVersion.h"
#include "patch/ArchiveExtractor.h"
#include "patch/FileDownload.h"
#include "protocol/ChunkChannels.h"
#include "protocol/MirroredChannel.h"

namespace ombrelta {
namespace {

const std::wstring kVersionFile = L"version.dat";

// The archive and a tenth more for its extraction must fit. A ".download" left by an earlier
// attempt is either continued or deleted before the first chunk, so its bytes count as free.
bool PatchFitsOnDisk(const PatchInfo& patch, const std::wstring& archivePath) {
    const std::uint64_t needed = std::uint64_t{patch.size} + (std::uint64_t{patch.size} + 9) / 10;
    return DiskSpaceFits(archivePath, needed, GetFileSize(PartialPath(archivePath)).value_or(0));
}

// "Downloading patch V" from 25 to 65 percent as the archive's bytes arrive.
DownloadProgress DownloadReports(const ProgressCallback& progress, std::uint16_t version) {
    if (!progress)
        return nullptr;
    const std::wstring message = L"Downloading patch " + std::to_wstring(version);
    return [progress, message](std::uint32_t written, std::uint32_t total) {
        const std::uint64_t share = total == 0 ? 0 : std::uint64_t{written} * 40 / total;
        progress(message, static_cast<std::int32_t>(25 + share));
    };
}

}  // namespace

PatchService::PatchService(std::wstring installDir,
                           Pipeline pipeline,
                           bool resume,
                           std::optional<PublicKeySet> publicKey,
                           bool applyDeltas,
                           MirrorSet* mirrors)
    : installDir(std::move(installDir)),
      pipeline(pipeline),
      resume(resume),
      publicKey(std::move(publicKey)),
      applyDeltas(applyDeltas),
      mirrors(mirrors) {}

PatchService::PatchService() : PatchService(GetExecutableDirectory()) {}

bool PatchService::ApplyPatches(LauncherApi& api, ProgressCallback progress) {
    // A server that offers the version asked about, or one installed earlier in this run, would
    // otherwise keep the loop going for ever.
    std::set<std::uint16_t> installedThisRun;
    movedAsideFiles.clear();
    FailureNotes notes;
    hashList.reset();
    for (;;) {
        // Each patch's failure names only its own causes.
        (void)TakeFailureNotes();
        const std::uint16_t localVersion = ReadLocalVersion(installDir, kVersionFile);
        Report(progress, L"Checking patch version " + std::to_wstring(localVersion), 5);
        const bool hasNext = HasNextPatch(api, localVersion);
        Report(progress, hasNext ? L"Server has next patch." : L"No patches found.", 10);
        if (!hasNext) {
            Report(progress, L"Patch check finished.", 100);
            return true;
        }

        Report(progress, L"Getting next patch info...", 15);
        const PatchInfo patch = api.GetNextPatch(localVersion);
        // The archive is stored under this name inside "_patch_temp": the server must not choose
        // another place for it, nor a name Windows takes for a device or another file.
        const std::wstring fileNameW = Utf8ToWide(patch.fileName);
        if (!patch.found)
            return Failed("the server has no patch record after version " + std::to_string(localVersion));
        if (!IsSafeFileName(patch.fileName) || fileNameW.empty())
            return Failed("unsafe patch file name: " + patch.fileName);
        if (patch.version == localVersion || installedThisRun.contains(patch.version))
            return Failed("the server offers version " + std::to_string(patch.version) + " again");
        Report(progress, L"Patch found: " + std::to_wstring(patch.version), 20);
        Notify(events, {.kind = ProgressEventKind::PatchFound,
                        .subject = patch.fileName,
                        .total = patch.size,
                        .version = patch.version});

        const std::wstring tempDir = JoinPath(installDir, kPatchTempDir);
        (void)CreateDirectories(tempDir);
        const std::wstring archivePath = JoinPath(tempDir, fileNameW);
        if (!DownloadAndExtract(api, patch, archivePath, progress))
            return Failed("patch " + patch.fileName);
        if (const std::uint16_t now = ReadLocalVersion(installDir, kVersionFile); now != patch.version)
            return Failed("version.dat holds " + std::to_string(now) + " after patch " + patch.fileName +
                          ", expected " + std::to_string(patch.version));

        RemovePatchTemp(archivePath);
        Report(progress, L"Patch " + std::to_wstring(patch.version) + L" installed.", 100);
        Notify(events, {.kind = ProgressEventKind::PatchInstalled, .subject = patch.fileName, .version = patch.version});
        installedThisRun.insert(patch.version);
    }
}

// The list asked for together costs no round trip of its own when no patch follows, which is
// when the file check needs it next.
bool PatchService::HasNextPatch(LauncherApi& api, std::uint16_t localVersion) {
    const std::string identity = "UNKNOWN";
    if (!pipeline.AsksAhead())
        return api.HasNextPatch(localVersion, identity, identity);
    return api.HasNextPatchAndList(localVersion, identity, identity,
                                   GetComputerNameNarrow().value_or("UNKNOWN"), hashList);
}

bool PatchService::DownloadAndExtract(LauncherApi& api,
                                      const PatchInfo& patch,
                                      const std::wstring& archivePath,
                                      const ProgressCallback& progress) {
    if (!PatchFitsOnDisk(patch, archivePath)) {
        Report(progress, L"Not enough disk space: " + Utf8ToWide(patch.fileName), 20);
        NoteFailure("not enough disk space for " + std::to_string(patch.size) + " bytes and a tenth more");
        return false;
    }
    const auto tell = [&](ProgressEventKind kind) {
        Notify(events, {.kind = kind, .subject = patch.fileName, .total = patch.size, .version = patch.version});
    };
    DownloadPlan plan{.target = archivePath,
                      .subject = patch.fileName,
                      .totalSize = patch.size,
                      .exactSize = true,
                      .placement = Placement::PartMovedIn,
                      .pipeline = pipeline};
    if (resume)
        plan.resumeRecord = PatchPartRecord(patch.version, patch.size, patch.fileName);
    // A continued archive, or one from a mirror, that fails extraction may not be this patch's
    // after all: the download fetches it once more whole.
    plan.use = [&](bool fetchAgain) {
        if (!PathExists(archivePath))
            return false;
        tell(ProgressEventKind::PatchFetched);
        Report(progress, L"Extracting patch...", 70);
        bool signatureRefused = false;
        if (Extract(patch, archivePath, signatureRefused)) {
            tell(ProgressEventKind::PatchExtracted);
            return true;
        }
        if (signatureRefused)
            NoteFailure("signature check failed");
        if (!fetchAgain && signatureRefused)
            Report(progress, L"Signature check failed: " + Utf8ToWide(patch.fileName), 70);
        return false;
    };
    PatchChunkChannel server(api, patch.version);
    MirroredChannel channel(
        server, mirrors, [&](const std::string& base) { return PatchObjectUrl(base, patch.fileName); }, patch.size,
        patch.fileName);
    const bool done = DownloadToFile(channel, plan, DownloadReports(progress, patch.version));
    if (done)
        channel.NoteServed();
    return done;
}

bool PatchService::Extract(const PatchInfo& patch, const std::wstring& archivePath, bool& signatureRefused) {
    const DeltaEntries deltas = applyDeltas ? DeltaEntries::Applied : DeltaEntries::AsFiles;
    if (!publicKey)
        return ExtractArchive(archivePath, installDir, &movedAsideFiles, deltas);
    const SignedExtraction outcome =
        ExtractSignedArchive(archivePath, installDir, {.publicKey = *publicKey, .version = patch.version},
                             &movedAsideFiles, deltas);
    signatureRefused = outcome == SignedExtraction::SignatureRefused;
    return outcome == SignedExtraction::Extracted;
}

bool PatchService::Failed(const std::string& why) const {
    ProgressEvent failure{.kind = ProgressEventKind::Failed, .detail = why};
    if (const std::string causes = TakeFailureNotes(); !causes.empty())
        failure.detail += ": " + causes;
    Notify(events, failure);
    return false;
}

void PatchService::RemovePatchTemp(const std::wstring& archivePath) const {
    if (PathExists(archivePath))
        (void)DeleteFileAt(archivePath);
    (void)RemoveEmptyDirectory(JoinPath(installDir, kPatchTempDir));
}

}  // namespace ombrelta
