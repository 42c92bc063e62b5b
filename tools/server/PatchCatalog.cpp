#include "tools/server/PatchCatalog.h"

#include <optional>
#include <stdexcept>
#include <system_error>

#include "common/Text.h"
#include "config/LocalVersion.h"
#include "patch/ZipReader.h"
#include "tools/server/PathText.h"
#include "tools/server/ScratchDirectory.h"

namespace ombrelta::server {
namespace {

constexpr std::uint64_t kMaxArchiveSize = 4294967295u;

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

// The launcher's own folder may not tell letter cases apart, and of several matching entries
// the one extracted last is what it finally holds, so the last match counts.
std::optional<std::uint32_t> FindVersionEntry(const ZipReader& reader) {
    std::optional<std::uint32_t> found;
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        std::string name;
        if (reader.EntryName(i, name) && !reader.IsDirectory(i) &&
            EqualsIgnoringAsciiCase(name, "version.dat"))
            found = i;
    }
    return found;
}

// The version is read exactly as the launcher reads it after extracting the archive, so the
// number announced is the number the launcher will find.
std::uint16_t ReadArchiveVersion(const std::filesystem::path& archive, const ScratchDirectory& scratch) {
    std::string name = PathToUtf8(archive);
    ZipReader reader;
    if (!reader.Open(name))
        throw std::runtime_error("patch archive " + name + " is not a readable zip archive");
    std::optional<std::uint32_t> entry = FindVersionEntry(reader);
    if (!entry)
        throw std::runtime_error("patch archive " + name + " has no version.dat at its root");
    std::filesystem::path target = scratch.path() / "version.dat";
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    if (!reader.ExtractToFile(*entry, PathToUtf8(target)))
        throw std::runtime_error("patch archive " + name + ": version.dat cannot be extracted");
    std::uint16_t version = ReadLocalVersion(Utf8ToWide(PathToUtf8(scratch.path())) + L"/", L"version.dat");
    // 0 is also the launcher's answer to an unreadable file, and no launcher ever asks for it.
    if (version == 0)
        throw std::runtime_error("patch archive " + name + ": version.dat holds no version above 0");
    return version;
}

bool IsZipFile(const std::filesystem::directory_entry& entry) {
    std::string extension = PathToUtf8(entry.path().extension());
    return entry.is_regular_file() && EqualsIgnoringAsciiCase(extension, ".zip");
}

PatchArchive DescribeArchive(const std::filesystem::path& file, const ScratchDirectory& scratch) {
    PatchArchive patch;
    patch.file = file;
    patch.fileName = PathToUtf8(file.filename());
    if (patch.fileName.size() > 255)
        throw std::runtime_error("patch archive name longer than 255 bytes: " + patch.fileName);
    std::uint64_t size = std::filesystem::file_size(file);
    if (size > kMaxArchiveSize)
        throw std::runtime_error("patch archive " + PathToUtf8(file) + " is larger than 4294967295 bytes");
    patch.size = static_cast<std::uint32_t>(size);
    patch.version = ReadArchiveVersion(file, scratch);
    return patch;
}

}  // namespace

PatchCatalog PatchCatalog::Load(const std::filesystem::path& dir) {
    PatchCatalog catalog;
    if (!std::filesystem::exists(dir))
        return catalog;
    ScratchDirectory scratch;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!IsZipFile(entry))
            continue;
        PatchArchive patch = DescribeArchive(entry.path(), scratch);
        auto [it, added] = catalog.patches_.emplace(patch.version, patch);
        if (!added)
            throw std::runtime_error("patch archives " + it->second.fileName + " and " + patch.fileName +
                                     " both bring version " + std::to_string(patch.version));
    }
    return catalog;
}

const PatchArchive* PatchCatalog::NextAfter(std::uint16_t version) const {
    auto it = patches_.upper_bound(version);
    return it == patches_.end() ? nullptr : &it->second;
}

const PatchArchive* PatchCatalog::Find(std::uint16_t version) const {
    auto it = patches_.find(version);
    return it == patches_.end() ? nullptr : &it->second;
}

}  // namespace ombrelta::server
