#include "ui/DetailsLine.h"

#include <cmath>
#include <cwchar>
#include <utility>

namespace ombrelta {
namespace {

constexpr double kKiB = 1024.0;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr std::chrono::seconds kUpdateInterval{1};
constexpr std::chrono::seconds kTimeLeftAfter{2};

std::wstring Printed(const wchar_t* format, double value) {
    wchar_t text[48];
    std::swprintf(text, sizeof text / sizeof text[0], format, value);
    return text;
}

// Whole numbers of a unit, or one decimal where the whole number would say too little; cut, not
// rounded, so that a download never shows its total before it is complete.
std::wstring InUnit(std::uint64_t bytes, double unit, bool decimal) {
    const double scale = decimal ? 10.0 : 1.0;
    return Printed(decimal ? L"%.1f" : L"%.0f", std::floor(static_cast<double>(bytes) / unit * scale) / scale);
}

}  // namespace

PixelRect BoxPixels(const TextBox& box) {
    const auto left = static_cast<std::int32_t>(std::floor(box.x));
    const auto top = static_cast<std::int32_t>(std::floor(box.y));
    return {left, top, static_cast<std::int32_t>(std::ceil(box.x + box.width)) - left,
            static_cast<std::int32_t>(std::ceil(box.y + box.height)) - top};
}

bool Overlaps(const PixelRect& a, const PixelRect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

std::wstring FormatDetailsRate(double bytesPerSecond) {
    // Rates that would round to "1024 KiB/s" are shown in MiB already.
    if (bytesPerSecond >= kMiB - kKiB / 2)
        return Printed(L"%.1f MiB/s", bytesPerSecond / kMiB);
    return Printed(L"%.0f KiB/s", bytesPerSecond / kKiB);
}

std::wstring FormatTimeLeft(double seconds) {
    const long long whole = seconds > 0 ? static_cast<long long>(std::ceil(seconds)) : 0;
    if (whole < 60)
        return std::to_wstring(whole) + L" s left";
    if (whole < 3600)
        return std::to_wstring(whole / 60) + L" min " + std::to_wstring(whole % 60) + L" s left";
    return std::to_wstring(whole / 3600) + L" h " + std::to_wstring(whole / 60 % 60) + L" min left";
}

std::wstring FormatDownloadBytes(std::uint64_t done, std::uint64_t total) {
    const std::uint64_t scale = total != 0 ? total : done;
    const bool kib = static_cast<double>(scale) < kMiB;
    const double unit = kib ? kKiB : kMiB;
    const bool decimal = !kib && static_cast<double>(scale) < 10 * kMiB;
    std::wstring text = InUnit(done, unit, decimal);
    if (total != 0)
        text += L" of " + InUnit(total, unit, decimal);
    return text + (kib ? L" KiB" : L" MiB");
}

std::wstring FormatDetailsLine(double bytesPerSecond,
                               std::optional<double> secondsLeft,
                               std::uint64_t done,
                               std::uint64_t total) {
    std::wstring line = FormatDetailsRate(bytesPerSecond);
    if (secondsLeft)
        line += L" \u00B7 " + FormatTimeLeft(*secondsLeft);
    return line + L" \u00B7 " + FormatDownloadBytes(done, total);
}

DetailsTracker::DetailsTracker(Clock clock)
    : clock(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); }) {}

std::optional<std::wstring> DetailsTracker::Take(const ProgressEvent& event) {
    switch (event.kind) {
        case ProgressEventKind::DownloadStarted:
        case ProgressEventKind::DownloadEnded:
            meter = TransferMeter();
            firstData.reset();
            lastChange.reset();
            return Show(L"");
        case ProgressEventKind::DownloadBytes:
            return Measure(event);
        default:
            return std::nullopt;
    }
}

std::optional<std::wstring> DetailsTracker::Measure(const ProgressEvent& event) {
    const auto now = clock();
    meter.Sample(now, event.done);
    if (!firstData)
        firstData = now;
    if (lastChange && now - *lastChange < kUpdateInterval)
        return std::nullopt;
    const std::optional<double> rate = meter.BytesPerSecond();
    if (!rate)
        return std::nullopt;
    std::optional<double> left;
    if (now - *firstData >= kTimeLeftAfter && event.total > event.done)
        left = meter.SecondsLeft(now, event.total - event.done);
    lastChange = now;
    return Show(FormatDetailsLine(*rate, left, event.done, event.total));
}

std::optional<std::wstring> DetailsTracker::Show(std::wstring text) {
    if (text == shown)
        return std::nullopt;
    shown = std::move(text);
    return shown;
}

}  // namespace ombrelta
