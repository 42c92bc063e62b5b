#include "service/LauncherService.h"

#include <exception>
#include <utility>

#include "common/Path.h"
#include "common/Text.h"
#include "patch/PatchService.h"
#include "verify/FileVerifier.h"
#include "verify/VerifiedFileCache.h"

namespace ombrelta {
namespace {

constexpr wchar_t kVerifiedFileCacheName[] = L"_verify_cache";

// What the stages get: a callback that always exists and hands every report on unchanged.
ProgressCallback Forwarding(const ProgressCallback& progress) {
    return [progress](const std::wstring& message, std::int32_t percent) { Report(progress, message, percent); };
}

HostLookup LookupFor(const LauncherOptions& options) {
    return options.resolve ? HostLookup::ResolveNames : HostLookup::DottedIPv4Only;
}

// A failure report from an exception handler must not throw again.
void ReportQuietly(const ProgressCallback& progress, const std::wstring& message) {
    try {
        Report(progress, message, 0);
    } catch (...) {
    }
}

}  // namespace

LauncherService::LauncherService(std::wstring installDir) : installDir(std::move(installDir)) {}

LauncherService::LauncherService() : LauncherService(GetExecutableDirectory()) {}

bool LauncherService::LoadConfig(WindowHandle owner) {
    game.SetOwner(owner);
    try {
        config = ReadConfigFile();
        return true;
    } catch (...) {
        return false;
    }
}

void LauncherService::CheckGameFiles(const ProgressCallback& progress) {
    if (!config.options.hashcache) {
        VerifyAndRepairFiles(api, Forwarding(progress), config.options.pipeline);
        return;
    }
    VerifiedFileCache cache = VerifiedFileCache::Load(JoinPath(installDir, kVerifiedFileCacheName));
    // Files found intact before a failure stay recorded; a cache that cannot be written only
    // means hashing them again next time.
    try {
        VerifyAndRepairFiles(api, Forwarding(progress), cache, config.options.pipeline);
    } catch (...) {
        (void)cache.Save();
        throw;
    }
    (void)cache.Save();
}

bool LauncherService::RunStartupChecks(std::string& errorText, ProgressCallback progress) {
    errorText.clear();
    if (!api.Connect(config.host, config.port, LookupFor(config.options))) {
        errorText = "Failed to connect to launcher server.";
        return false;
    }
    try {
        Report(progress, L"Checking patches...", 20);
        PatchService patches(installDir, config.options.pipeline);
        if (!patches.ApplyPatches(api, Forwarding(progress))) {
            errorText = "Patch update failed.";
            return false;
        }
        Report(progress, L"Checking game files...", 70);
        CheckGameFiles(progress);
        Report(progress, L"Ready.", 100);
        return true;
    } catch (const std::exception& error) {
        errorText = error.what();
        return false;
    }
}

bool LauncherService::VerifyBeforeStart(ProgressCallback progress) {
    try {
        Report(progress, L"Connecting to launcher server...", 0);
        if (!api.Connect(config.host, config.port, LookupFor(config.options))) {
            Report(progress, L"Failed to connect to launcher server.", 0);
            return false;
        }
        Report(progress, L"Checking files before start...", 10);
        CheckGameFiles(progress);
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
