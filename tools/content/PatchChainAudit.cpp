#include "tools/content/PatchChainAudit.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/AsciiCase.h"
#include "common/DigestHasher.h"
#include "common/Hex.h"
#include "common/Text.h"
#include "patch/DeltaHeader.h"
#include "patch/ZipEntryName.h"
#include "patch/ZipReader.h"
#include "tools/content/ContentName.h"
#include "tools/content/PathText.h"
#include "verify/FileHash.h"

namespace ombrelta {
namespace {

// One entry as a launcher leaves it: the game file it writes, and whether it is a delta.
struct BroughtFile {
    std::string path;  // '/' separators, UTF-8
    bool delta = false;
};

std::optional<BroughtFile> Brought(const ZipReader& reader, std::uint32_t i) {
    std::wstring name;
    if (reader.IsDirectory(i) || !SafeEntryName(reader, i, name) || IsRootVersionFile(name))
        return std::nullopt;
    const DeltaBase base = DeltaBaseName(name);
    if (base.kind == DeltaBaseKind::Unusable)
        return std::nullopt;
    const bool delta = base.kind == DeltaBaseKind::File;
    std::wstring path = delta ? base.file : name;
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return BroughtFile{.path = WideToUtf8(path), .delta = delta};
}

std::optional<std::string> EntryMd5(ZipReader& reader, std::uint32_t i) {
    std::optional<Md5Hasher> hasher = Md5Hasher::Create();
    if (!hasher || !reader.ReadEntry(i, [&](const std::uint8_t* data, std::size_t size) {
            return hasher->Update(data, size);
        }))
        return std::nullopt;
    const std::optional<Md5Digest> digest = hasher->Finish();
    return digest ? std::optional(BytesToHex(*digest)) : std::nullopt;
}

std::optional<DeltaHeader> EntryDeltaHeader(ZipReader& reader, std::uint32_t i) {
    std::vector<std::uint8_t> head;
    // The sink stops the reading once the header is in: the frame behind it is not needed.
    (void)reader.ReadEntry(i, [&](const std::uint8_t* data, std::size_t size) {
        head.insert(head.end(), data, data + std::min(size, kDeltaHeaderSize - head.size()));
        return head.size() < kDeltaHeaderSize;
    });
    return ParseDeltaHeader(head);
}

// False when the entry matches the served file, and when it cannot be read.
bool EntryDiffers(ZipReader& reader, std::uint32_t i, bool delta, const GameFile& served,
                  const std::filesystem::path& filesDir) {
    if (delta) {
        const std::optional<DeltaHeader> header = EntryDeltaHeader(reader, i);
        if (!header)
            return false;
        return header->resultSize != served.size ||
               BytesToHex(header->resultSha256) !=
                   ComputeFileSha256(Utf8ToWide(PathToUtf8(filesDir / PathFromUtf8(served.path))));
    }
    const std::optional<DeclaredData> declared = reader.Declared(i);
    if (!declared || declared->size != served.size)
        return declared.has_value();
    const std::optional<std::string> md5 = EntryMd5(reader, i);
    return md5 && !EqualsIgnoringAsciiCase(std::string_view(*md5), std::string_view(served.md5));
}

}  // namespace

void AuditPatchChain(const PatchCatalog& patches,
                     const std::filesystem::path& patchDir,
                     const FileCatalog& files,
                     const std::filesystem::path& filesDir,
                     ContentProblems& problems) {
    // The launcher finds a game file in any letter case.
    std::map<std::string, const GameFile*> served;
    for (std::uint16_t id = 0; id < files.Count(); ++id)
        served.emplace(LowerAsciiLetters(files.Find(id)->path), files.Find(id));
    std::vector<const PatchArchive*> newestFirst;
    for (const PatchArchive* patch = patches.NextAfter(0); patch != nullptr; patch = patches.NextAfter(patch->version))
        newestFirst.insert(newestFirst.begin(), patch);
    std::set<std::string> seen;
    for (const PatchArchive* patch : newestFirst) {
        ZipReader reader;
        if (!reader.Open(PathToUtf8(patchDir / PathFromUtf8(patch->fileName))))
            continue;
        for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
            const std::optional<BroughtFile> brought = Brought(reader, i);
            if (!brought || !seen.insert(LowerAsciiLetters(brought->path)).second)
                continue;
            const auto file = served.find(LowerAsciiLetters(brought->path));
            if (file == served.end() || !EntryDiffers(reader, i, brought->delta, *file->second, filesDir))
                continue;
            problems.push_back("patch archive " + EscapeForLog(patch->fileName) + " brings " +
                               EscapeForLog(brought->path) + (brought->delta ? " as a delta" : "") +
                               ", which differs from the served files/" + EscapeForLog(file->second->path) +
                               ": a launcher installs the patch, then its file check puts the served file back");
        }
    }
}

}  // namespace ombrelta
