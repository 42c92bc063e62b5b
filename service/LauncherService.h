#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/InterruptibleWait.h"
#include "common/ProgressCallback.h"
#include "common/ProgressEvents.h"
#include "config/LauncherConfig.h"
#include "game/GameProcess.h"
#include "protocol/LauncherApi.h"
#include "service/ServerOrder.h"
#include "protocol/MirrorSet.h"
#include "verify/FileVerifier.h"

namespace ombrelta {

/// Told of each connection a check makes: the server's place in the list (0: `host` and `port`,
/// then those of the `servers` option), the number of servers, and the server.
using ConnectionWatch = std::function<void(std::size_t place, std::size_t count, const ServerAddress& server)>;

/// Runs the launcher's two check sequences against the configured launcher server.
class LauncherService {
public:
    /// installDir: the launcher's own directory, ending with a separator.
    explicit LauncherService(std::wstring installDir);
    /// Works on the running program's own folder.
    LauncherService();

    /// Reads "Ombrel.dat"; false on any failure, leaving the configuration at its defaults.
    bool LoadConfig();

    /// Connects, applies patches, checks the game files and reports "Ready.". False with the
    /// reason (UTF-8) in errorText on failure; errorText is empty on success. With the `retries`
    /// option, a lost connection is reported ("Connection lost, retrying in S s (K of N)...")
    /// and connected again after a wait, and the stages go on from where the installation is.
    /// With the `servers` option, the run uses the first server that connects and answers its
    /// first request, and a reconnection goes to the servers after the one lost, in order.
    /// Before "Ready.", the parts of downloads that can no longer be continued are deleted.
    bool RunStartupChecks(std::string& errorText, ProgressCallback progress);

    /// Connects again and checks the game files, reconnecting as RunStartupChecks does; reports
    /// its failure and returns false. Never throws.
    bool VerifyBeforeStart(ProgressCallback progress);

    /// Sends the events of later runs to sink, beside their reports: the connection (Connected,
    /// Reconnecting), the patches, the repairs and every download (see ProgressEvent). Call
    /// before a run starts, never during one.
    void Observe(ProgressSink sink);

    /// True when a patch of the last RunStartupChecks replaced the file fileName directly in the
    /// install directory while it was in use (a running program); names match as on Windows.
    bool PatchReplacedInUse(std::wstring_view fileName) const;

    /// Where lines go that tell which source (a mirror's host, or the server) served each file
    /// and why a mirror failed; nowhere by default.
    void SetSourceLog(MirrorSet::Log log) { sourceLog = std::move(log); }

    /// Closes the connection and ends a wait for a reconnection at once; no reconnection
    /// follows. Safe to call from another thread while a check runs.
    void Close();

    /// Has watch called, on the checking thread, after each connection the checks make; set it
    /// before a check runs.
    void WatchConnections(ConnectionWatch watch) { connectionWatch = std::move(watch); }

    LauncherApi& Api() { return api; }
    const LauncherConfig& Config() const { return config; }
    GameProcess& Game() { return game; }
    const std::wstring& InstallDir() const { return installDir; }

private:
    /// Runs the stages once; false (or an exception) when they fail.
    using Stages = std::function<bool(const ProgressCallback&)>;

    bool RunStartupStages(std::string& errorText, const ProgressCallback& progress, FileCheckPosition& position);
    /// Runs stages again after each failure that lost the connection, while the `retries`
    /// option allows a reconnection; the last failure stands.
    bool RunReconnecting(const ProgressCallback& progress, const Stages& stages);
    /// Waits and connects again, with the reports, while attempts remain; true once connected.
    bool Reconnect(const ProgressCallback& progress, std::int32_t percent, int& attempts);
    /// `host` and `port`, then the servers of the `servers` option.
    std::vector<ServerAddress> Servers() const;
    /// Starts a round of the servers and connects to the first of it that accepts; false when
    /// none does.
    bool ConnectRound();
    /// Connects to the next server of the round that accepts; false when none is left.
    bool ConnectNextOfRound();
    /// True while no Close has come; otherwise closes the connection a connect made meanwhile.
    bool KeepConnectionUnlessClosed();
    /// The file check of both sequences, with the verified-file cache when the options ask;
    /// startingOver reports a check that starts over with a changed list.
    void CheckGameFiles(const ProgressCallback& progress,
                        FileCheckPosition& position,
                        std::function<void()> startingOver);
    /// Tells the events that the connection to the configured server is open.
    void TellConnected() const;
    /// Deletes the kept parts that no longer match the list or the installed version.
    void RemoveStaleParts(const std::vector<HashEntry>& entries) const;
    /// The configured mirrors with no failure yet in this run; null without any.
    MirrorSet* MirrorsForRun();

    LauncherApi api;
    LauncherConfig config;
    GameProcess game;
    std::wstring installDir;
    InterruptibleWait retryWait;
    ServerOrder serverOrder{1};
    ConnectionWatch connectionWatch;
    ProgressSink events;
    // Written by the start-up run; read by its own worker or once it has ended.
    std::vector<std::wstring> replacedInUse;
    // Kept across runs for their connections; used by one worker at a time, as the api is.
    std::optional<MirrorSet> mirrors;
    MirrorSet::Log sourceLog;
};

}  // namespace ombrelta
