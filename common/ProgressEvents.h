#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ombrelta {

/// What happened, as the layers doing the work tell it beside their status texts.
enum class ProgressEventKind {
    /// A game file's check is finished (repaired or not); subject: its path.
    FileChecked,
    /// A game file is downloaded again; subject: its path, total: its listed size.
    RepairStarted,
    /// That download is complete and in place; subject: its path.
    RepairDone,
    /// That download ended without the file in place; subject: its path, detail: why.
    RepairCut,
    /// The server offers a patch; subject: its archive name, total: its size, version.
    PatchFound,
    /// The patch archive is downloaded; subject, total, version as for PatchFound.
    PatchFetched,
    /// The archive is extracted over the installation; subject, version.
    PatchExtracted,
    /// "version.dat" now holds the patch's version; subject, version.
    PatchInstalled,
    /// A download starts or starts over; subject: the file, total: its size (0: unknown),
    /// done: the offset a kept part goes on from, detail: where the bytes come from.
    DownloadStarted,
    /// A chunk arrived; done: bytes of the file so far, total: its size (0: unknown).
    DownloadBytes,
    /// A download ended; subject: the file, done: bytes received by it, total: its size,
    /// seconds: how long it took, window: the requests it kept in flight at the end (with an
    /// automatic window, the size reached), detail: empty when complete, else why not.
    DownloadEnded,
    /// Something failed; detail: the cause as far as it is known (see FailureNote.h).
    Failed,
    /// The connection to the server is open; subject: the address connected to.
    Connected,
    /// The connection was lost and is opened again; done: the attempt, total: the attempts
    /// allowed, seconds: the wait before it.
    Reconnecting,
};

/// One event; the fields a kind does not name are left at their defaults.
struct ProgressEvent {
    ProgressEventKind kind = ProgressEventKind::Failed;
    /// A path or archive name, UTF-8.
    std::string subject{};
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::uint16_t version = 0;
    double seconds = 0;
    int window = 0;
    std::string detail{};
};

/// Receives the events of a run, synchronously on the worker's thread, beside (never instead of)
/// its ProgressCallback. May be empty; an empty sink is never called.
using ProgressSink = std::function<void(const ProgressEvent& event)>;

/// Calls sink when it holds a target.
inline void Notify(const ProgressSink& sink, const ProgressEvent& event) {
    if (sink)
        sink(event);
}

/// The source a download names while the launcher server is the only one.
inline constexpr char kServerSource[] = "server";

}  // namespace ombrelta
