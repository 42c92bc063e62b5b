#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Pipeline.h"
#include "common/ProgressCallback.h"
#include "common/ProgressEvents.h"
#include "common/PublicKeySet.h"
#include "protocol/HashEntry.h"
#include "protocol/LauncherApi.h"
#include "protocol/MirrorSet.h"
#include "protocol/PatchInfo.h"

namespace ombrelta {

/// Brings an installation up to the newest patch the launcher server offers.
class PatchService {
public:
    /// installDir: the launcher's own directory, ending with a separator. pipeline: chunk
    /// requests a download may keep in flight (1 waits for each answer). resume: an interrupted
    /// download keeps its ".download" and a record beside it, and the next download of the same
    /// patch continues it; a continued archive that fails extraction is fetched once more whole.
    /// publicKey: when present, every patch must be signed with one of its keys (ExtractSignedArchive); one
    /// that is not is reported as "Signature check failed: " + its file name and fails.
    /// applyDeltas: delta entries are applied to the installed files (DeltaEntries::Applied)
    /// rather than written as files. mirrors: when set, each archive's bytes come from them
    /// first (BASE/patches/NAME), and an archive from a mirror that fails its size or its checks
    /// on extraction is fetched again from the next mirror, and at last from the server.
    explicit PatchService(std::wstring installDir,
                          Pipeline pipeline = 1,
                          bool resume = false,
                          std::optional<PublicKeySet> publicKey = std::nullopt,
                          bool applyDeltas = false,
                          MirrorSet* mirrors = nullptr);
    /// Works on the running program's own folder.
    PatchService();

    /// Applies every patch that follows the local version, one per pass. True when the server
    /// has no further patch; false when a step failed, a patch's file name among them when it is
    /// not a safe file name (IsSafeFileName), before anything of that patch is fetched. A patch
    /// whose announced size and a tenth more does not fit the volume's known free space is
    /// reported as "Not enough disk space: " + its file name and fails before its first chunk
    /// request. Errors of the HAS_NEXT_PATCH and
    /// GET_NEXT_PATCH requests are thrown as std::runtime_error.
    bool ApplyPatches(LauncherApi& api, ProgressCallback progress);

    /// Sends what happens to sink beside the reports: PatchFound, PatchFetched, PatchExtracted,
    /// PatchInstalled, and Failed with the cause of each failure. The downloads' own events go
    /// through the connection's traffic (ChunkTraffic::Observe).
    void Observe(ProgressSink sink) { events = std::move(sink); }

    /// Names of the files (below installDir, '\' separated) that the patches of the last
    /// ApplyPatches replaced while they were in use, moving them aside; also those of a patch
    /// that failed later on.
    const std::vector<std::wstring>& MovedAsideFiles() const { return movedAsideFiles; }

    /// The server's hash list, when the last ApplyPatches asked for it together with its last
    /// HAS_NEXT_PATCH question (a pipeline that asks ahead: the server answers in order) and the
    /// answer said no patch follows; taken once.
    std::optional<std::vector<HashEntry>> TakeHashList() { return std::exchange(hashList, std::nullopt); }
    /// Deletes the archive and removes "_patch_temp" when it is empty; failures ignored.
    void RemovePatchTemp(const std::wstring& archivePath) const;

private:
    /// Extracts the archive, checking its signature when a key is set; signatureRefused tells
    /// that the signature was the reason of a failure.
    bool Extract(const PatchInfo& patch, const std::wstring& archivePath, bool& signatureRefused);
    /// Asks whether a patch follows localVersion, with a pipeline together with the hash list.
    bool HasNextPatch(LauncherApi& api, std::uint16_t localVersion);
    /// Downloads the archive to archivePath and extracts it; false when either fails.
    bool DownloadAndExtract(LauncherApi& api,
                            const PatchInfo& patch,
                            const std::wstring& archivePath,
                            const ProgressCallback& progress);

    std::wstring installDir;
    Pipeline pipeline;
    bool resume;
    std::optional<PublicKeySet> publicKey;
    bool applyDeltas;
    MirrorSet* mirrors;
    /// Tells sink of the failure, with the causes noted below it; returns false.
    bool Failed(const std::string& why) const;

    std::vector<std::wstring> movedAsideFiles;
    ProgressSink events;
    std::optional<std::vector<HashEntry>> hashList;
};

}  // namespace ombrelta
