#include "service/LauncherService.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>
#include <utility>

#include "common/Path.h"
#include "common/Text.h"
#include "config/LocalVersion.h"
#include "patch/PatchService.h"
#include "patch/StalePatchParts.h"
#include "patch/ZipEntryName.h"
#include "service/ConnectionRetry.h"
#include "verify/FileVerifier.h"
#include "verify/StaleGameFileParts.h"
#include "verify/VerifiedFileCache.h"

namespace ombrelta {
namespace {

constexpr wchar_t kVerifiedFileCacheName[] = L"_verify_cache";

// What the stages get: a callback that always exists and hands every report on unchanged.
ProgressCallback Forwarding(const ProgressCallback& progress) {
    return
        [progress](const std::wstring& message, std::int32_t percent) { Report(progress, message, percent); };
}

HostLookup LookupFor(const LauncherOptions& options) {
    return options.resolve ? HostLookup::ResolveNames : HostLookup::DottedIPv4Only;
}

// The limit spans one run, patches and repairs alike, and starts each run with a full bucket.
void LimitChunkRate(LauncherApi& api, const LauncherOptions& options) {
    api.Traffic().LimitRate(static_cast<std::uint64_t>(options.maxrate) * 1024);
}

// A failure report from an exception handler must not throw again.
void ReportQuietly(const ProgressCallback& progress, const std::wstring& message) {
    try {
        Report(progress, message, 0);
    } catch (...) {
    }
}

// What a patch moved aside counts also when a later step fails or the connection breaks.
bool ApplyPatchesNoting(PatchService& patches,
                        LauncherApi& api,
                        const ProgressCallback& progress,
                        std::vector<std::wstring>& movedAside) {
    auto note = [&] {
        const std::vector<std::wstring>& files = patches.MovedAsideFiles();
        movedAside.insert(movedAside.end(), files.begin(), files.end());
    };
    try {
        const bool patched = patches.ApplyPatches(api, Forwarding(progress));
        note();
        return patched;
    } catch (...) {
        note();
        throw;
    }
}

}  // namespace

LauncherService::LauncherService(std::wstring installDir) : installDir(std::move(installDir)) {
    // A server that takes the connection but leaves its first request unanswered is passed over
    // like one that refuses the connection.
    api.OnFirstAnswerLost(
        [this] { return !retryWait.Interrupted() && ConnectNextOfRound() && KeepConnectionUnlessClosed(); });
}

LauncherService::LauncherService() : LauncherService(GetExecutableDirectory()) {}

bool LauncherService::LoadConfig() {
    try {
        config = ReadConfigFile();
        return true;
    } catch (...) {
        return false;
    }
}

void LauncherService::CheckGameFiles(const ProgressCallback& progress,
                                     FileCheckPosition& position,
                                     std::function<void()> startingOver) {
    // Only a signed file list is held to the installed version.
    const std::uint16_t installed = config.options.publicKey ? ReadLocalVersion(installDir, L"version.dat") : 0;
    FileCheckSettings settings{.pipeline = config.options.pipeline,
                                     .resume = config.options.resume,
                                     .position = &position,
                                     .startingOver = std::move(startingOver),
                                     .publicKey = config.options.publicKey,
                                     .installedVersion = installed,
                                     .mirrors = mirrors ? &*mirrors : nullptr,
                                     .events = events,
                                     .blockRepair = config.options.blockrepair};
    if (!config.options.hashcache) {
        VerifyAndRepairFiles(api, Forwarding(progress), nullptr, settings);
        return;
    }
    VerifiedFileCache cache = VerifiedFileCache::Load(JoinPath(installDir, kVerifiedFileCacheName));
    // Files found intact before a failure stay recorded; a cache that cannot be written only
    // means hashing them again next time.
    try {
        VerifyAndRepairFiles(api, Forwarding(progress), &cache, settings);
    } catch (...) {
        (void)cache.Save();
        throw;
    }
    (void)cache.Save();
}

bool LauncherService::RunStartupChecks(std::string& errorText, ProgressCallback progress) {
    errorText.clear();
    replacedInUse.clear();
    LimitChunkRate(api, config.options);
    MirrorsForRun();
    serverOrder = ServerOrder(Servers().size());
    if (!ConnectRound()) {
        errorText = "Failed to connect to launcher server.";
        return false;
    }
    // A check cut short goes on after a reconnection with the entries not yet done, unless the
    // server's list changed meanwhile.
    FileCheckPosition position;
    try {
        return RunReconnecting(progress, [&](const ProgressCallback& report) {
            errorText.clear();
            // Every pass after the first follows a reconnection.
            position.listAgain = position.listed;
            return RunStartupStages(errorText, report, position);
        });
    } catch (const std::exception& error) {
        errorText = error.what();
        return false;
    }
}

bool LauncherService::RunStartupStages(std::string& errorText,
                                       const ProgressCallback& progress,
                                       FileCheckPosition& position) {
    Report(progress, L"Checking patches...", 20);
    PatchService patches(installDir, config.options.pipeline, config.options.resume, config.options.publicKey,
                         config.options.delta, mirrors ? &*mirrors : nullptr);
    patches.Observe(events);
    if (!ApplyPatchesNoting(patches, api, progress, replacedInUse)) {
        errorText = "Patch update failed.";
        return false;
    }
    position.answered = patches.TakeHashList();
    Report(progress, L"Checking game files...", 70);
    // The reports of this pass already are those of a check that starts.
    CheckGameFiles(progress, position, nullptr);
    RemoveStaleParts(position.entries);
    Report(progress, L"Ready.", 100);
    return true;
}

bool LauncherService::RunReconnecting(const ProgressCallback& progress, const Stages& stages) {
    if (config.options.retries == 0)
        return stages(progress);
    std::int32_t percent = 0;
    const ProgressCallback tracked = [&](const std::wstring& message, std::int32_t value) {
        percent = value;
        Report(progress, message, value);
    };
    int attempts = 0;
    for (;;) {
        try {
            if (stages(tracked))
                return true;
        } catch (const std::exception&) {
            if (!Reconnect(progress, percent, attempts))
                throw;
            continue;
        }
        if (!Reconnect(progress, percent, attempts))
            return false;
    }
}

// Only a failure that closed the connection is a lost connection: malformed answers, unsafe
// paths and write failures leave it open and end the run.
bool LauncherService::Reconnect(const ProgressCallback& progress, std::int32_t percent, int& attempts) {
    if (api.IsConnected())
        return false;
    // The wait grows while the server stays away, and starts over once it is back.
    for (int failedInARow = 0; attempts < config.options.retries; ++failedInARow) {
        ++attempts;
        const int seconds = RetryDelaySeconds(failedInARow);
        Report(progress, RetryReportText(seconds, attempts, config.options.retries), percent);
        Notify(events, {.kind = ProgressEventKind::Reconnecting,
                        .done = static_cast<std::uint64_t>(attempts),
                        .total = static_cast<std::uint64_t>(config.options.retries),
                        .seconds = static_cast<double>(seconds)});
        if (!retryWait.WaitFor(std::chrono::seconds(seconds)))
            return false;
        if (ConnectRound())
            return KeepConnectionUnlessClosed();
    }
    return false;
}

std::vector<ServerAddress> LauncherService::Servers() const {
    std::vector<ServerAddress> servers{{config.host, config.port}};
    servers.insert(servers.end(), config.options.servers.begin(), config.options.servers.end());
    return servers;
}

bool LauncherService::ConnectRound() {
    serverOrder.StartRound();
    return ConnectNextOfRound();
}

bool LauncherService::ConnectNextOfRound() {
    const std::vector<ServerAddress> servers = Servers();
    while (const std::optional<std::size_t> place = serverOrder.Next()) {
        if (api.Connect(servers[*place].host, servers[*place].port, LookupFor(config.options))) {
            if (connectionWatch)
                connectionWatch(*place, servers.size(), servers[*place]);
            TellConnected();
            return true;
        }
    }
    return false;
}

// A Close that came during a connect still ends the run.
bool LauncherService::KeepConnectionUnlessClosed() {
    if (!retryWait.Interrupted())
        return true;
    api.Close();
    return false;
}

// Only the keys that keep parts beside the files make any: without them nothing is deleted.
void LauncherService::RemoveStaleParts(const std::vector<HashEntry>& entries) const {
    if (!config.options.resume && !config.options.publicKey && !config.options.blockrepair)
        return;
    RemoveStaleGameFileParts(entries);
    RemoveStalePatchParts(installDir);
}

MirrorSet* LauncherService::MirrorsForRun() {
    if (config.options.mirror.empty())
        return nullptr;
    if (!mirrors)
        mirrors.emplace(config.options.mirror);
    mirrors->SetLog(sourceLog);
    mirrors->StartRun();
    return &*mirrors;
}

bool LauncherService::PatchReplacedInUse(std::wstring_view fileName) const {
    return std::any_of(replacedInUse.begin(), replacedInUse.end(),
                       [fileName](const std::wstring& name) { return NamesRootFile(name, fileName); });
}

void LauncherService::Observe(ProgressSink sink) {
    events = std::move(sink);
    api.Traffic().Observe(events);
}

void LauncherService::TellConnected() const {
    if (events)
        Notify(events, {.kind = ProgressEventKind::Connected, .subject = api.PeerAddress()});
}

void LauncherService::Close() {
    retryWait.Interrupt();
    api.Close();
}

bool LauncherService::VerifyBeforeStart(ProgressCallback progress) {
    try {
        Report(progress, L"Connecting to launcher server...", 0);
        LimitChunkRate(api, config.options);
        MirrorsForRun();
        serverOrder = ServerOrder(Servers().size());
        if (!ConnectRound()) {
            Report(progress, L"Failed to connect to launcher server.", 0);
            return false;
        }
        Report(progress, L"Checking files before start...", 10);
        FileCheckPosition position;
        RunReconnecting(progress, [&](const ProgressCallback& report) {
            position.listAgain = position.listed;
            CheckGameFiles(report, position, [&] { Report(report, L"Checking files before start...", 10); });
            return true;
        });
        Report(progress, L"Files checked successfully.", 100);
        return true;
    } catch (const std::exception& error) {
        ReportQuietly(progress, L"Connection or file check failed: " + Utf8ToWide(error.what()));
        return false;
    } catch (...) {
        ReportQuietly(progress, L"Connection or file check failed.");
        return false;
    }
}

}  // namespace ombrelta
