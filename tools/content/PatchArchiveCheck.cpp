#include "tools/content/PatchArchiveCheck.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "common/FileSystem.h"
#include "common/Text.h"
#include "config/LocalVersion.h"
#include "patch/DeltaEntry.h"
#include "patch/DeltaHeader.h"
#include "patch/ZipEntryName.h"
#include "patch/ZipReader.h"
#include "tools/content/ContentName.h"
#include "tools/content/ContentRules.h"
#include "tools/content/PathText.h"
#include "tools/content/ScratchDirectory.h"

namespace ombrelta {
namespace {

// An entry's name as the launcher decodes it and will write it, UTF-8 with '/' separators, or
// nothing when extraction refuses the stored name.
std::optional<std::string> LauncherName(const ZipReader& reader, std::uint32_t i) {
    std::wstring decoded;
    if (!SafeEntryName(reader, i, decoded))
        return std::nullopt;
    std::replace(decoded.begin(), decoded.end(), L'\\', L'/');
    return WideToUtf8(decoded);
}

// The names of every entry as the launcher will write them; a problem for each it refuses.
std::vector<std::string> EntryNames(const ZipReader& reader, ArchiveInspection& inspection) {
    std::vector<std::string> names(reader.EntryCount());
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        if (std::optional<std::string> name = LauncherName(reader, i)) {
            names[i] = std::move(*name);
            continue;
        }
        std::string stored;
        (void)reader.EntryName(i, stored);
        inspection.problems.push_back("entry name \"" + EscapeForLog(stored) +
                                      "\" is refused by the launcher as an unsafe path");
    }
    return names;
}

std::optional<DeltaHeader> ReadDeltaHeader(const std::filesystem::path& file) {
    std::vector<std::uint8_t> bytes(kDeltaHeaderSize);
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return ParseDeltaHeader(bytes);
}

// A delta entry, already inflated into the scratch file "entry": its name and header, and with
// the old tree its result.
void CheckDelta(ZipReader& reader, std::uint32_t i, const std::string& name, const std::filesystem::path& scratch,
                const std::optional<std::filesystem::path>& oldTree, ArchiveInspection& inspection) {
    std::wstring wide = Utf8ToWide(name);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    const DeltaBase base = DeltaBaseName(wide);
    const std::string quoted = "delta entry \"" + EscapeForLog(name) + "\"";
    if (base.kind == DeltaBaseKind::NotDelta)
        return;
    if (base.kind == DeltaBaseKind::Unusable)
        return inspection.problems.push_back(quoted + " names no file a delta may rewrite");
    if (!ReadDeltaHeader(scratch / "entry"))
        return inspection.problems.push_back(quoted + " has no valid delta header (or sizes above 512 MiB)");
    if (!oldTree)
        return;
    std::wstring basePath = base.file;
    std::replace(basePath.begin(), basePath.end(), L'\\', L'/');
    const std::filesystem::path oldFile = *oldTree / PathFromUtf8(WideToUtf8(basePath));
    const std::wstring result = Utf8ToWide(PathToUtf8(scratch / "delta-result"));
    const DeltaOutcome outcome = ApplyDeltaEntry(reader, i, Utf8ToWide(PathToUtf8(oldFile)), result);
    if (outcome == DeltaOutcome::BaseDiffers)
        inspection.problems.push_back(quoted + ": " + PathToUtf8(oldFile) + " is missing or not its base");
    else if (outcome == DeltaOutcome::ResultNotMapped || outcome == DeltaOutcome::NotWritten)
        inspection.problems.push_back(quoted + ": its result cannot be written here to be checked");
    else if (outcome == DeltaOutcome::Damaged)
        inspection.problems.push_back(quoted + " does not give the result its header names");
    (void)DeleteFileAt(result);
}

// Inflates every file entry into one scratch file, which the next entry overwrites, and
// returns the index of the last root "version.dat": the one extraction leaves in place.
std::optional<std::uint32_t> InflateEntries(ZipReader& reader,
                                            const std::vector<std::string>& names,
                                            const std::filesystem::path& scratch,
                                            const std::optional<std::filesystem::path>& oldTree,
                                            ArchiveInspection& inspection) {
    std::optional<std::uint32_t> versionEntry;
    const std::string target = PathToUtf8(scratch / "entry");
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        if (reader.IsDirectory(i))
            continue;
        if (!reader.ExtractToFile(i, target)) {
            inspection.problems.push_back("entry \"" + EscapeForLog(names[i]) +
                                          "\" does not inflate to its size and CRC-32, or is encrypted"
                                          " or compressed in a way the launcher cannot read");
            continue;
        }
        if (names[i].empty())
            continue;
        CheckDelta(reader, i, names[i], scratch, oldTree, inspection);
        if (!IsRootVersionFile(Utf8ToWide(names[i])))
            continue;
        if (versionEntry)
            inspection.problems.push_back("more than one version.dat at the root");
        versionEntry = i;
    }
    return versionEntry;
}

void ReadVersion(ZipReader& reader, std::uint32_t entry, const std::filesystem::path& scratch,
                 ArchiveInspection& inspection) {
    std::error_code ignored;
    std::filesystem::remove(scratch / "version.dat", ignored);
    if (!reader.ExtractToFile(entry, PathToUtf8(scratch / "version.dat")))
        return;
    inspection.version = ReadLocalVersion(Utf8ToWide(PathToUtf8(scratch)) + L"/", L"version.dat");
    if (*inspection.version == 0)
        inspection.problems.push_back("version.dat holds no version above 0");
}

}  // namespace

ArchiveInspection InspectPatchArchive(const std::filesystem::path& archive,
                                      const std::optional<std::filesystem::path>& oldTree) {
    ArchiveInspection inspection;
    std::error_code error;
    const std::uint64_t size = std::filesystem::file_size(archive, error);
    if (!error && size >= kArchiveSizeLimit)
        inspection.problems.push_back("archive is 4 GiB or larger");
    ZipReader reader;
    if (error || !reader.Open(PathToUtf8(archive))) {
        inspection.problems.push_back("not a readable zip archive");
        return inspection;
    }
    const std::vector<std::string> names = EntryNames(reader, inspection);
    std::vector<std::string> decodable;
    std::copy_if(names.begin(), names.end(), std::back_inserter(decodable),
                 [](const std::string& name) { return !name.empty(); });
    CheckEntryNames(decodable, inspection.problems);
    ScratchDirectory scratch;
    const std::optional<std::uint32_t> versionEntry =
        InflateEntries(reader, names, scratch.Path(), oldTree, inspection);
    if (versionEntry)
        ReadVersion(reader, *versionEntry, scratch.Path(), inspection);
    else
        inspection.problems.push_back("no version.dat at the root");
    return inspection;
}

std::vector<std::string> DeltaEntryFiles(const std::filesystem::path& archive) {
    std::vector<std::string> files;
    ZipReader reader;
    if (!reader.Open(PathToUtf8(archive)))
        return files;
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        std::wstring name;
        if (!SafeEntryName(reader, i, name))
            continue;
        DeltaBase base = DeltaBaseName(name);
        if (base.kind != DeltaBaseKind::File)
            continue;
        std::replace(base.file.begin(), base.file.end(), L'\\', L'/');
        files.push_back(WideToUtf8(base.file));
    }
    return files;
}

std::vector<std::string> VerifyPatchArchive(const std::filesystem::path& archive, std::uint16_t expected,
                                            const std::optional<std::filesystem::path>& oldTree) {
    ArchiveInspection inspection = InspectPatchArchive(archive, oldTree);
    if (inspection.version && *inspection.version != 0 && *inspection.version != expected)
        inspection.problems.push_back("version.dat holds " + std::to_string(*inspection.version) +
                                      ", not " + std::to_string(expected));
    return inspection.problems;
}

}  // namespace ombrelta
