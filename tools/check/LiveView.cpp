#include "tools/check/LiveView.h"

#include <utility>

namespace ombrelta {
namespace {

constexpr std::chrono::milliseconds kFrameInterval{100};

}  // namespace

LiveView::LiveView(const ChunkTraffic& traffic, LiveTerminal terminal)
    : traffic(traffic),
      terminal(std::move(terminal)),
      started(this->terminal.clock()),
      receivedAtStart(traffic.BytesReceived()),
      receivedAtLastReport(receivedAtStart) {}

LiveView::~LiveView() {
    if (lineOpen)
        terminal.write("\n");
}

void LiveView::Report(const std::wstring& message, std::int32_t percent) {
    const auto now = terminal.clock();
    const std::uint64_t received = traffic.BytesReceived();
    meter.Sample(now, received);
    // Only a report made after chunk data arrived speaks of a download; the one before its
    // first chunk ("Repairing " at 0) does not yet.
    status.downloading = received != receivedAtLastReport;
    receivedAtLastReport = received;
    status.text = message;
    status.percent = percent;
    if (status.downloading) {
        const DownloadPosition position = traffic.Position();
        status.done = position.written;
        status.total = position.total;
        status.bytesPerSecond = meter.BytesPerSecond();
        status.secondsLeft.reset();
        if (position.total > position.written)
            status.secondsLeft = meter.SecondsLeft(now, position.total - position.written);
        else if (position.total != 0)
            status.secondsLeft = 0.0;
    }
    drawnLatest = false;
    Draw(false);
}

void LiveView::Event(const ProgressEvent& event) {
    if (event.kind == ProgressEventKind::RepairDone)
        ++filesRepaired;
    else if (event.kind == ProgressEventKind::DownloadStarted)
        meter.NewDownload();
}

void LiveView::Draw(bool now) {
    const auto time = terminal.clock();
    if (!now && lastFrame && time - *lastFrame < kFrameInterval)
        return;
    std::string frame = "\r";
    frame += FormatLiveLine(status, terminal.columns());
    terminal.write(frame);
    lastFrame = time;
    drawnLatest = true;
    lineOpen = true;
}

void LiveView::EndLine() {
    if (!drawnLatest)
        Draw(true);
    if (lineOpen)
        terminal.write("\n");
    lineOpen = false;
}

void LiveView::PrintLine(const std::string& line) {
    EndLine();
    terminal.write(line + "\n");
}

void LiveView::Finish() {
    EndLine();
    const RunSummary summary{.bytesDownloaded = traffic.BytesReceived() - receivedAtStart,
                             .seconds = std::chrono::duration<double>(terminal.clock() - started).count(),
                             .filesRepaired = filesRepaired};
    terminal.write(FormatSummary(summary) + "\n");
}

}  // namespace ombrelta
