#include "tools/check/LiveLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/Text.h"

namespace ombrelta {
namespace {

constexpr double kMiB = 1024.0 * 1024.0;
// Columns left free at the end of the line: the "^C" a terminal echoes when the run is
// interrupted must fit without wrapping onto a line of its own.
constexpr std::size_t kEchoRoom = 3;

std::string Printed(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string PercentAndBar(std::int32_t percent, std::size_t width) {
    const std::int32_t shown = std::clamp(percent, 0, 100);
    std::string field = std::to_string(shown) + "%";
    field.insert(0, 4 - field.size(), ' ');
    // The bar gives way first on a narrow terminal.
    const std::size_t bar = width >= 80 ? 16 : width >= 50 ? 10 : 0;
    if (bar == 0)
        return field;
    const std::size_t filled = bar * static_cast<std::size_t>(shown) / 100;
    return field + " [" + std::string(filled, '#') + std::string(bar - filled, '.') + "]";
}

std::string DownloadFields(const LiveStatus& status) {
    std::string fields = " ";
    fields += FormatMiB(status.done);
    if (status.total != 0)
        fields.append("/").append(FormatMiB(status.total));
    fields += " MiB";
    if (status.bytesPerSecond)
        fields.append(" ").append(FormatRate(*status.bytesPerSecond));
    if (status.secondsLeft)
        fields.append(" ").append(FormatDuration(*status.secondsLeft)).append(" left");
    return fields;
}

// Control characters of a report would move the cursor; they are shown as '?'.
std::wstring Printable(std::wstring text) {
    for (wchar_t& c : text) {
        if (c < 0x20 || c == 0x7F)
            c = L'?';
    }
    return text;
}

// The start and the end of a path tell the most, so a long text loses its middle.
std::wstring Shortened(const std::wstring& text, std::size_t columns) {
    if (text.size() <= columns)
        return text;
    if (columns < 5)
        return text.substr(0, columns);
    const std::size_t head = (columns - 3) / 2;
    const std::size_t tail = columns - 3 - head;
    return text.substr(0, head) + L"..." + text.substr(text.size() - tail);
}

}  // namespace

std::string FormatMiB(std::uint64_t bytes) {
    return Printed("%.1f", static_cast<double>(bytes) / kMiB);
}

std::string FormatRate(double bytesPerSecond) {
    // Rates that would round to "1024 KiB/s" are shown in MiB already.
    if (bytesPerSecond >= kMiB - 512)
        return Printed("%.2f MiB/s", bytesPerSecond / kMiB);
    return Printed("%.0f KiB/s", bytesPerSecond / 1024.0);
}

std::string FormatDuration(double seconds) {
    const long long whole = seconds > 0 ? static_cast<long long>(std::ceil(seconds)) : 0;
    char buffer[32];
    if (whole >= 3600)
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld", whole / 60, whole % 60);
    return buffer;
}

std::string FormatLiveLine(const LiveStatus& status, std::size_t width) {
    const std::size_t columns = width > kEchoRoom ? width - kEchoRoom : 0;
    std::string line = PercentAndBar(status.percent, width);
    if (status.downloading)
        line += DownloadFields(status);
    line += "  ";
    // Everything before the text is ASCII, one column per byte.
    if (line.size() >= columns)
        return line.substr(0, columns);
    const std::size_t room = columns - line.size();
    const std::wstring text = Shortened(Printable(status.text), room);
    return line + WideToUtf8(text) + std::string(room - text.size(), ' ');
}

std::string FormatSummary(const RunSummary& summary) {
    const double average =
        summary.seconds > 0 ? static_cast<double>(summary.bytesDownloaded) / summary.seconds : 0;
    return "Downloaded " + FormatMiB(summary.bytesDownloaded) + " MiB in " + FormatDuration(summary.seconds) +
           ", " + FormatRate(average) + " on average, " + std::to_string(summary.filesRepaired) +
           (summary.filesRepaired == 1 ? " file repaired." : " files repaired.");
}

}  // namespace ombrelta
