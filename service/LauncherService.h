#pragma once

#include <string>

#include "common/ProgressCallback.h"
#include "config/LauncherConfig.h"
#include "game/GameProcess.h"
#include "protocol/LauncherApi.h"

namespace ombrelta {

/// Runs the launcher's two check sequences against the configured launcher server.
class LauncherService {
public:
    /// installDir: the launcher's own directory, ending with a separator.
    explicit LauncherService(std::wstring installDir);
    /// Works on the running program's own folder.
    LauncherService();

    /// Makes owner the game controller's owner window, then reads "Ombrel.dat"; false on any
    /// failure, leaving the configuration at its defaults.
    bool LoadConfig(WindowHandle owner);

    /// Connects, applies patches, checks the game files and reports "Ready.". False with the
    /// reason (UTF-8) in errorText on failure; errorText is empty on success.
    bool RunStartupChecks(std::string& errorText, ProgressCallback progress);

    /// Connects again and checks the game files; reports its failure and returns false.
    /// Never throws.
    bool VerifyBeforeStart(ProgressCallback progress);

    LauncherApi& Api() { return api; }
    const LauncherConfig& Config() const { return config; }
    GameProcess& Game() { return game; }
    const std::wstring& InstallDir() const { return installDir; }

private:
    /// The file check of both sequences, with the verified-file cache when the options ask.
    void CheckGameFiles(const ProgressCallback& progress);

    LauncherApi api;
    LauncherConfig config;
    GameProcess game;
    std::wstring installDir;
};

}  // namespace ombrelta
