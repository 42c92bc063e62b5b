#include "common/PartialDownload.h"

#include <limits>
#include <optional>

#include "common/Decimal.h"
#include "common/FileSystem.h"

namespace ombrelta {
namespace {

// Records are a few dozen bytes; anything longer is not one of them.
constexpr std::size_t kRecordLimit = 4096;

// The value of the line "key=VALUE\n" at the start of text, which then moves past it.
std::optional<std::string_view> TakeLine(std::string_view& text, std::string_view key) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos || !text.starts_with(key) || end < key.size() ||
        text[key.size()] != '=')
        return std::nullopt;
    const std::string_view value = text.substr(key.size() + 1, end - key.size() - 1);
    text.remove_prefix(end + 1);
    return value;
}

// The number of a line that is there, as std::to_string writes it.
template <typename Number>
std::optional<Number> WrittenNumber(std::optional<std::string_view> text) {
    return text ? ParseCanonicalDecimal<Number>(*text) : std::nullopt;
}

}  // namespace

std::wstring PartialRecordPath(const std::wstring& partialPath) {
    return partialPath + L".resume";
}

std::uint32_t ResumableSize(const std::wstring& partialPath, const std::string& identity, std::uint64_t totalSize) {
    const std::optional<std::uint64_t> size = GetFileSize(partialPath);
    const std::optional<std::string> record = ReadSmallFile(PartialRecordPath(partialPath), kRecordLimit);
    if (size && record && *record == identity && *size <= totalSize && *size <= std::numeric_limits<std::uint32_t>::max())
        return static_cast<std::uint32_t>(*size);
    DiscardPartial(partialPath);
    return 0;
}

bool RecordPartial(const std::wstring& partialPath, const std::string& identity) {
    const std::wstring recordPath = PartialRecordPath(partialPath);
    std::optional<File> file = File::OpenWrite(recordPath);
    if (file && file->Write(identity.data(), identity.size()) && file->Close())
        return true;
    (void)DeleteFileAt(recordPath);
    return false;
}

void DiscardPartial(const std::wstring& partialPath) {
    (void)DeleteFileAt(partialPath);
    (void)DeleteFileAt(PartialRecordPath(partialPath));
}

std::string GameFilePartRecord(std::uint32_t size, std::string_view md5) {
    return "size=" + std::to_string(size) + "\nmd5=" + std::string(md5) + "\n";
}

bool IsGameFilePartRecord(std::string_view text) {
    return WrittenNumber<std::uint32_t>(TakeLine(text, "size")) && TakeLine(text, "md5") && text.empty();
}

std::string PatchPartRecord(std::uint16_t version, std::uint32_t size, std::string_view fileName) {
    return "version=" + std::to_string(version) + "\nsize=" + std::to_string(size) +
           "\nname=" + std::string(fileName) + "\n";
}

std::optional<std::uint16_t> PatchPartVersion(std::string_view text, std::string_view fileName) {
    const std::optional<std::uint16_t> version = WrittenNumber<std::uint16_t>(TakeLine(text, "version"));
    const std::optional<std::uint32_t> size = WrittenNumber<std::uint32_t>(TakeLine(text, "size"));
    const std::optional<std::string_view> name = TakeLine(text, "name");
    if (!version || !size || name != fileName || !text.empty())
        return std::nullopt;
    return version;
}

}  // namespace ombrelta
