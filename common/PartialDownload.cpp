#include "common/PartialDownload.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/AsciiCase.h"
#include "common/Decimal.h"
#include "common/FileSystem.h"
#include "common/Path.h"
#include "common/PathText.h"
#include "common/Text.h"

namespace ombrelta {
namespace {

namespace fs = std::filesystem;

constexpr std::wstring_view kPartSuffix = L".download";
constexpr std::wstring_view kRecordSuffix = L".resume";

// Records are a few dozen bytes; anything longer is not one of them.
constexpr std::size_t kRecordLimit = 4096;

std::optional<std::string> ReadRecordOf(const std::wstring& partialPath) {
    return ReadSmallFile(PartialRecordPath(partialPath), kRecordLimit);
}

std::optional<std::string> ReadRecordOf(const fs::path& partialPath) {
    return ReadRecordOf(Utf8ToWide(PathToUtf8(partialPath)));
}

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

// What one sweep deletes: stale parts with their records, and records left without their part.
struct SweepRules {
    // Files the sweep never deletes, nor looks into.
    std::function<bool(const fs::path&)> kept;
    std::function<bool(const fs::path& part)> partIsStale;
    std::function<bool(const fs::path& record)> lonelyRecordGoes;
};

bool IsWithoutPart(const fs::path& record, const fs::path& partExtension) {
    const fs::path part = fs::path(record).replace_extension();
    std::error_code error;
    return part.extension() == partExtension && !fs::exists(part, error);
}

// Deletes only once the listing is done, so that it never walks a folder that changes under it.
template <typename Listing>
void Sweep(const fs::path& folder, const SweepRules& rules) {
    const fs::path partExtension = ToNativePath(kPartSuffix);
    const fs::path recordExtension = ToNativePath(kRecordSuffix);
    std::vector<fs::path> stale;
    std::error_code listError;
    for (Listing it(folder, fs::directory_options::skip_permission_denied, listError), end;
         !listError && it != end; it.increment(listError)) {
        const fs::path& path = it->path();
        std::error_code error;
        if (!it->is_regular_file(error) || rules.kept(path))
            continue;
        if (path.extension() == partExtension && rules.partIsStale(path)) {
            stale.push_back(path);
            stale.push_back(fs::path(path) += recordExtension);
        } else if (path.extension() == recordExtension && IsWithoutPart(path, partExtension) &&
                   rules.lonelyRecordGoes(path)) {
            stale.push_back(path);
        }
    }
    for (const fs::path& path : stale) {
        std::error_code error;
        if (!rules.kept(path))
            (void)fs::remove(path, error);
    }
}

using PathKey = fs::path::string_type;

// Windows takes a listed path in any letter case, so a part is looked up the same way.
PathKey KeyOf(const fs::path& path) {
    fs::path normal = path.lexically_normal();
    normal.make_preferred();
    PathKey key = normal.native();
    std::transform(key.begin(), key.end(), key.begin(), LowerAscii<fs::path::value_type>);
    return key;
}

}  // namespace

std::wstring PartialPath(const std::wstring& target) {
    return target + std::wstring(kPartSuffix);
}

std::wstring PartialRecordPath(const std::wstring& partialPath) {
    return partialPath + std::wstring(kRecordSuffix);
}

std::uint32_t ResumableSize(const std::wstring& partialPath, const std::string& identity, std::uint64_t totalSize) {
    const std::optional<std::uint64_t> size = GetFileSize(partialPath);
    const std::optional<std::string> record = ReadRecordOf(partialPath);
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

void SweepGameFileParts(const std::wstring& root, const std::vector<ListedGameFile>& listed) {
    const fs::path rootPath = ToNativePath(root);
    std::map<PathKey, const ListedGameFile*> byKey;
    for (const ListedGameFile& file : listed)
        byKey.emplace(KeyOf(rootPath / ToNativePath(file.path)), &file);
    const auto find = [&](const fs::path& path) -> const ListedGameFile* {
        const auto found = byKey.find(KeyOf(path));
        return found == byKey.end() ? nullptr : found->second;
    };
    // A part beside a listed file is one this program wrote; beside any other path only its
    // record shows that, so a part without one is left alone there.
    const auto partIsStale = [&](const fs::path& part) {
        const std::optional<std::string> record = ReadRecordOf(part);
        if (const ListedGameFile* file = find(fs::path(part).replace_extension()))
            return record != file->partRecord;
        return record && IsGameFilePartRecord(*record);
    };
    const auto lonelyRecordGoes = [](const fs::path& record) {
        const std::optional<std::string> text = ReadRecordOf(fs::path(record).replace_extension());
        return text && IsGameFilePartRecord(*text);
    };
    Sweep<fs::recursive_directory_iterator>(
        rootPath, {.kept = [&](const fs::path& path) { return find(path) != nullptr; },
                   .partIsStale = partIsStale,
                   .lonelyRecordGoes = lonelyRecordGoes});
}

void SweepPatchParts(const std::wstring& installDir, std::uint16_t installedVersion) {
    const std::wstring tempDir = JoinPath(installDir, kPatchTempDir);
    // A part may go when its record cannot lead a later download of a newer patch to it.
    const auto partIsStale = [&](const fs::path& part) {
        const std::optional<std::string> record = ReadRecordOf(part);
        const std::optional<std::uint16_t> version =
            record ? PatchPartVersion(*record, PathToUtf8(fs::path(part).replace_extension().filename()))
                   : std::nullopt;
        return !version || *version <= installedVersion;
    };
    Sweep<fs::directory_iterator>(ToNativePath(tempDir),
                                  {.kept = [](const fs::path&) { return false; },
                                   .partIsStale = partIsStale,
                                   .lonelyRecordGoes = [](const fs::path&) { return true; }});
    (void)RemoveEmptyDirectory(tempDir);
}

}  // namespace ombrelta
