#include "service/RunLog.h"

#include <cstdio>

#include "common/Text.h"

namespace ombrelta {
namespace {

std::string Number(std::uint64_t value) {
    return std::to_string(value);
}

std::string Fixed(const char* format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string DownloadStartLine(const ProgressEvent& event) {
    std::string line = "download " + event.subject + " from " + event.detail + ", ";
    line += event.total != 0 ? Number(event.total) + " bytes" : std::string("size unknown");
    if (event.done != 0)
        line += ", resumed at " + Number(event.done);
    return line;
}

std::string DownloadEndLine(const ProgressEvent& event) {
    const double rate = event.seconds > 0 ? static_cast<double>(event.done) / event.seconds : 0;
    std::string line = "download " + event.subject + " ended: " + Number(event.done) + " bytes received in " +
                       Fixed("%.3f", event.seconds) + " s (" + Fixed("%.0f", rate / 1024.0) + " KiB/s), window " +
                       std::to_string(event.window);
    return line + (event.detail.empty() ? std::string(", complete") : ", failed: " + event.detail);
}

std::string PatchLine(const ProgressEvent& event, const char* what) {
    return "patch " + std::to_string(event.version) + " " + what + ": " + event.subject;
}

}  // namespace

std::string KeysInEffect(const LauncherOptions& options) {
    const LauncherOptions defaults;
    std::string keys;
    const auto add = [&](bool set, const std::string& text) {
        if (set)
            keys += (keys.empty() ? "" : " ") + text;
    };
    add(options.pipeline != defaults.pipeline,
        "pipeline=" +
            (options.pipeline.IsAuto() ? std::string("auto") : std::to_string(options.pipeline.Count())));
    add(options.hashcache, "hashcache=1");
    add(options.resume, "resume=1");
    add(options.retries != defaults.retries, "retries=" + std::to_string(options.retries));
    add(options.resolve, "resolve=1");
    add(options.delta, "delta=1");
    add(options.publicKey.has_value(), "publickey set");
    add(options.maxrate != defaults.maxrate, "maxrate=" + std::to_string(options.maxrate));
    add(options.details, "details=1");
    add(options.log, "log=1");
    add(options.blockrepair, "blockrepair=1");
    return keys.empty() ? "none" : keys;
}

std::string EventLine(const ProgressEvent& event) {
    switch (event.kind) {
        case ProgressEventKind::FileChecked:
        case ProgressEventKind::DownloadBytes:
            return {};
        case ProgressEventKind::RepairStarted:
            return "repair " + event.subject + ", " + Number(event.total) + " bytes";
        case ProgressEventKind::RepairDone:
            return "repair done: " + event.subject;
        case ProgressEventKind::RepairCut:
            return "repair failed: " + event.subject + ": " + event.detail;
        case ProgressEventKind::PatchFound:
            return PatchLine(event, "found") + ", " + Number(event.total) + " bytes";
        case ProgressEventKind::PatchFetched:
            return PatchLine(event, "downloaded");
        case ProgressEventKind::PatchExtracted:
            return PatchLine(event, "extracted");
        case ProgressEventKind::PatchInstalled:
            return PatchLine(event, "installed");
        case ProgressEventKind::DownloadStarted:
            return DownloadStartLine(event);
        case ProgressEventKind::DownloadEnded:
            return DownloadEndLine(event);
        case ProgressEventKind::Failed:
            return "failure: " + event.detail;
        case ProgressEventKind::Connected:
            return "connected to " + event.subject;
        case ProgressEventKind::Reconnecting:
            return "connection lost; reconnecting in " + Fixed("%.0f", event.seconds) + " s, attempt " +
                   Number(event.done) + " of " + Number(event.total);
    }
    return {};
}

void RunLog::Started(const std::string& program, std::uint16_t installedVersion, const LauncherConfig& config) {
    try {
        file.Write(program + " " + OMBRELTA_LAUNCHER_VERSION + " started");
        file.Write("installed version " + std::to_string(installedVersion));
        file.Write("keys: " + KeysInEffect(config.options));
        file.Write("server " + WideToUtf8(config.host) + ":" + std::to_string(config.port & 0xFFFF) +
                   " (as configured)");
    } catch (...) {
    }
}

void RunLog::Report(const std::wstring& message, std::int32_t percent) {
    try {
        file.Write("report " + std::to_string(percent) + "% " + WideToUtf8(message));
    } catch (...) {
    }
}

void RunLog::Event(const ProgressEvent& event) {
    try {
        if (std::string line = EventLine(event); !line.empty())
            file.Write(line);
    } catch (...) {
    }
}

void RunLog::Ended(bool passed, const std::string& reason) {
    try {
        file.Write(passed ? std::string("run passed") : "run failed: " + reason);
    } catch (...) {
    }
}

void RunLog::Line(const std::string& text) {
    try {
        file.Write(text);
    } catch (...) {
    }
}

}  // namespace ombrelta
