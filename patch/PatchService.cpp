#include "patch/PatchService.h"

#include <set>
#include <utility>

#include "common/ComputerName.h"
#include "common/DiskSpace.h"
#include "common/FileSystem.h"
#include "common/PartialDownload.h"
#include "common/Path.h"
#include "common/SafePath.h"
#include "common/Text.h"
#include "config/LocalVersion.h"
#include "patch/ArchiveExtractor.h"
#include "patch/FileDownload.h"
#include "patch/StalePatchParts.h"
#include "protocol/ChunkChannels.h"

namespace ombrelta {
namespace {

const std::wstring kVersionFile = L"version.dat";

// The archive and a tenth more for its extraction must fit. A ".download" left by an earlier
// attempt is either continued or deleted before the first chunk, so its bytes count as free.
bool PatchFitsOnDisk(const PatchInfo& patch, const std::wstring& archivePath) {
    const std::uint64_t needed = std::uint64_t{patch.size} + (std::uint64_t{patch.size} + 9) / 10;
    return DiskSpaceFits(archivePath, needed, GetFileSize(archivePath + L".download").value_or(0));
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
                           int pipeline,
                           bool resume,
                           std::optional<PublicKeySet> publicKey,
                           bool applyDeltas)
    : installDir(std::move(installDir)),
      pipeline(pipeline),
      resume(resume),
      publicKey(std::move(publicKey)),
      applyDeltas(applyDeltas) {}

PatchService::PatchService() : PatchService(GetExecutableDirectory()) {}

bool PatchService::ApplyPatches(LauncherApi& api, ProgressCallback progress) {
    // A server that offers the version asked about, or one installed earlier in this run, would
    // otherwise keep the loop going for ever.
    std::set<std::uint16_t> installedThisRun;
    movedAsideFiles.clear();
    hashList.reset();
    for (;;) {
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
        if (!patch.found || !IsSafeFileName(patch.fileName) || fileNameW.empty())
            return false;
        if (patch.version == localVersion || installedThisRun.contains(patch.version))
            return false;
        Report(progress, L"Patch found: " + std::to_wstring(patch.version), 20);

        const std::wstring tempDir = JoinPath(installDir, kPatchTempDir);
        (void)CreateDirectories(tempDir);
        const std::wstring archivePath = JoinPath(tempDir, fileNameW);
        if (!DownloadAndExtract(api, patch, archivePath, progress))
            return false;
        if (ReadLocalVersion(installDir, kVersionFile) != patch.version)
            return false;

        RemovePatchTemp(archivePath);
        Report(progress, L"Patch " + std::to_wstring(patch.version) + L" installed.", 100);
        installedThisRun.insert(patch.version);
    }
}

// The list asked for together costs no round trip of its own when no patch follows, which is
// when the file check needs it next.
bool PatchService::HasNextPatch(LauncherApi& api, std::uint16_t localVersion) {
    const std::string identity = "UNKNOWN";
    if (pipeline <= 1)
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
        return false;
    }
    DownloadPlan plan{.target = archivePath,
                      .totalSize = patch.size,
                      .exactSize = true,
                      .placement = Placement::PartMovedIn,
                      .pipeline = pipeline};
    if (resume)
        plan.resumeRecord = PatchPartRecord(patch.version, patch.size, patch.fileName);
    // A continued archive that fails extraction may not be this patch's after all: the download
    // fetches it once more whole.
    plan.use = [&](bool continued) {
        if (!PathExists(archivePath))
            return false;
        Report(progress, L"Extracting patch...", 70);
        bool signatureRefused = false;
        if (Extract(patch, archivePath, signatureRefused))
            return true;
        if (!continued && signatureRefused)
            Report(progress, L"Signature check failed: " + Utf8ToWide(patch.fileName), 70);
        return false;
    };
    PatchChunkChannel channel(api, patch.version);
    return DownloadToFile(channel, plan, DownloadReports(progress, patch.version));
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

void PatchService::RemovePatchTemp(const std::wstring& archivePath) const {
    if (PathExists(archivePath))
        (void)DeleteFileAt(archivePath);
    (void)RemoveEmptyDirectory(JoinPath(installDir, kPatchTempDir));
}

}  // namespace ombrelta
