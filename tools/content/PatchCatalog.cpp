#include "tools/content/PatchCatalog.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "common/AsciiCase.h"
#include "common/Text.h"
#include "config/LocalVersion.h"
#include "patch/ZipEntryName.h"
#include "patch/ZipReader.h"
#include "tools/content/ContentName.h"
#include "tools/content/ContentRules.h"
#include "tools/content/PathText.h"
#include "tools/content/ScratchDirectory.h"

namespace ombrelta {
namespace {

constexpr std::uint64_t kMaxArchiveSize = 4294967295u;

// The launcher's extraction writes every root "version.dat" of the archive, in any spelling it
// takes for one, and the one written last is what it finally holds, so the last match counts.
std::optional<std::uint32_t> FindVersionEntry(const ZipReader& reader) {
    std::optional<std::uint32_t> found;
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        std::wstring name;
        if (SafeEntryName(reader, i, name) && !reader.IsDirectory(i) && IsRootVersionFile(name))
            found = i;
    }
    return found;
}

// The version is read exactly as the launcher reads it after extracting the archive, so the
// number announced is the number the launcher will find.
std::uint16_t ReadArchiveVersion(const std::filesystem::path& archive, const ScratchDirectory& scratch) {
    std::string name = EscapeForLog(PathToUtf8(archive));
    ZipReader reader;
    if (!reader.Open(PathToUtf8(archive)))
        throw std::runtime_error("patch archive " + name + " is not a readable zip archive");
    std::optional<std::uint32_t> entry = FindVersionEntry(reader);
    if (!entry)
        throw std::runtime_error("patch archive " + name + " has no version.dat at its root");
    std::filesystem::path target = scratch.Path() / "version.dat";
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    if (!reader.ExtractToFile(*entry, PathToUtf8(target)))
        throw std::runtime_error("patch archive " + name + ": version.dat cannot be extracted");
    std::uint16_t version = ReadLocalVersion(Utf8ToWide(PathToUtf8(scratch.Path())) + L"/", L"version.dat");
    // 0 is also the launcher's answer to an unreadable file, and no launcher ever asks for it.
    if (version == 0)
        throw std::runtime_error("patch archive " + name + ": version.dat holds no version above 0");
    return version;
}

bool HasZipExtension(const std::filesystem::path& path) {
    return EqualsIgnoringAsciiCase(std::string_view(PathToUtf8(path.extension())), std::string_view(".zip"));
}

// Why a name in the patches folder is passed over. Trailing blanks and dots are named apart: a
// Windows copy drops them, so "patch1.zip " looks like an archive everywhere but here.
std::string IgnoredBecause(const std::string& name) {
    const std::size_t kept = name.find_last_not_of(" .");
    const std::string trimmed = name.substr(0, kept == std::string::npos ? 0 : kept + 1);
    if (trimmed.size() != name.size() && HasZipExtension(PathFromUtf8(trimmed)))
        return "its name ends in blanks or dots after \".zip\"";
    return "not a .zip file";
}

// The archive is opened before its version is read, so the size announced is the handle's.
std::optional<PatchArchive> DescribeArchive(const std::filesystem::path& file,
                                            const ScratchDirectory& scratch,
                                            ContentProblems& problems) {
    PatchArchive patch;
    patch.fileName = PathToUtf8(file.filename());
    std::size_t before = problems.size();
    CheckPatchFileName(patch.fileName, problems);
    if (patch.fileName.size() > 255)
        problems.push_back("patch archive name longer than 255 bytes: " + EscapeForLog(patch.fileName));
    std::optional<File> handle = File::OpenRead(Utf8ToWide(PathToUtf8(file)));
    std::optional<LoadStamp> loaded =
        handle ? LoadStamp::Take(*handle, Utf8ToWide(PathToUtf8(file))) : std::nullopt;
    std::uint64_t size = handle ? handle->Size().value_or(kMaxArchiveSize + 1) : 0;
    if (!handle || !loaded)
        problems.push_back("cannot open patch archive " + EscapeForLog(PathToUtf8(file)));
    else if (size > kMaxArchiveSize)
        problems.push_back("patch archive " + EscapeForLog(PathToUtf8(file)) +
                           " is larger than 4294967295 bytes");
    if (problems.size() != before)
        return std::nullopt;
    try {
        patch.version = ReadArchiveVersion(file, scratch);
    } catch (const std::runtime_error& e) {
        problems.push_back(e.what());
        return std::nullopt;
    }
    patch.size = static_cast<std::uint32_t>(size);
    patch.handle = std::move(*handle);
    patch.loaded = std::move(*loaded);
    return patch;
}

}  // namespace

PatchCatalog PatchCatalog::Load(const std::filesystem::path& dir, ContentProblems& problems) {
    PatchCatalog catalog;
    if (!FolderPresent(dir, "patches", problems))
        return catalog;
    std::error_code error;
    ScratchDirectory scratch;
    std::filesystem::directory_iterator it(dir, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = PathToUtf8(it->path().filename());
        if (!HasZipExtension(it->path())) {
            catalog.ignored.push_back("patches/\"" + EscapeForLog(name) + "\" is ignored: " + IgnoredBecause(name));
            continue;
        }
        std::optional<std::filesystem::file_status> status = FollowedStatus(*it, "patches/" + name, problems);
        if (!status)
            continue;
        if (!std::filesystem::is_regular_file(*status)) {
            catalog.ignored.push_back("patches/\"" + EscapeForLog(name) + "\" is ignored: not a file");
            continue;
        }
        std::optional<PatchArchive> patch = DescribeArchive(it->path(), scratch, problems);
        if (!patch)
            continue;
        auto found = catalog.patches.find(patch->version);
        if (found != catalog.patches.end()) {
            problems.push_back("patch archives " + EscapeForLog(found->second.fileName) + " and " +
                               EscapeForLog(patch->fileName) + " both bring version " +
                               std::to_string(patch->version));
            continue;
        }
        catalog.patches.emplace(patch->version, std::move(*patch));
    }
    if (error)
        problems.push_back("cannot list folder " + EscapeForLog(PathToUtf8(dir)) + ": " + error.message());
    std::sort(catalog.ignored.begin(), catalog.ignored.end());
    return catalog;
}

const PatchArchive* PatchCatalog::NextAfter(std::uint16_t version) const {
    auto it = patches.upper_bound(version);
    return it == patches.end() ? nullptr : &it->second;
}

const PatchArchive* PatchCatalog::Find(std::uint16_t version) const {
    auto it = patches.find(version);
    return it == patches.end() ? nullptr : &it->second;
}

}  // namespace ombrelta
