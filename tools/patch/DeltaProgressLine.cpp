#include "tools/patch/DeltaProgressLine.h"

#include <unistd.h>

#include <cstdio>

#include "tools/check/LiveLine.h"

namespace ombrelta::patchkit {
namespace {

constexpr std::size_t kFileColumns = 48;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
// A rate over less than this time says little.
constexpr auto kRateAfter = std::chrono::milliseconds(500);

std::string Shortened(const std::string& file) {
    if (file.size() <= kFileColumns)
        return file;
    const std::size_t head = (kFileColumns - 3) / 2;
    return file.substr(0, head) + "..." + file.substr(file.size() - (kFileColumns - 3 - head));
}

void WriteStandardError(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

std::string FormatDeltaProgress(const std::string& file,
                                std::uint64_t done,
                                std::uint64_t size,
                                std::optional<double> bytesPerSecond) {
    std::string line = "delta " + Shortened(file) + ": " + FormatMiB(done) + "/" + FormatMiB(size) + " MiB";
    if (bytesPerSecond)
        line.append(", ").append(FormatRate(*bytesPerSecond));
    return line;
}

DeltaProgressLine::DeltaProgressLine()
    : DeltaProgressLine(isatty(STDERR_FILENO) == 1 ? Write(WriteStandardError) : Write()) {}

DeltaProgressLine::DeltaProgressLine(Write write) : write(std::move(write)) {}

DeltaProgressLine::~DeltaProgressLine() {
    Clear();
}

std::function<void(const std::string&, std::uint64_t, std::uint64_t)> DeltaProgressLine::Callback() {
    if (!write)
        return {};
    return [this](const std::string& name, std::uint64_t done, std::uint64_t size) {
        Update(name, done, size, Clock::now());
    };
}

void DeltaProgressLine::Update(const std::string& name,
                               std::uint64_t done,
                               std::uint64_t size,
                               Clock::time_point now) {
    const bool newFile = name != file || !lastDrawn;
    if (newFile) {
        file = name;
        fileStart = now;
    } else if (done < size && now - *lastDrawn < kRedrawEvery) {
        return;
    }
    std::optional<double> rate;
    if (now - fileStart >= kRateAfter)
        rate = static_cast<double>(done) / std::chrono::duration<double>(now - fileStart).count();
    std::string line = FormatDeltaProgress(file, done, size, rate);
    const std::size_t width = line.size();
    // Blanks cover what is left of a longer line drawn before.
    line.append(shownWidth > width ? shownWidth - width : 0, ' ');
    write("\r" + line);
    shownWidth = width;
    lastDrawn = now;
}

void DeltaProgressLine::Clear() {
    if (shownWidth == 0 || !write)
        return;
    write("\r" + std::string(shownWidth, ' ') + "\r");
    shownWidth = 0;
    lastDrawn.reset();
    file.clear();
}

}  // namespace ombrelta::patchkit
