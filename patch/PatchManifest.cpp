#include "patch/PatchManifest.h"

#include <string>

#include "common/DigestHasher.h"
#include "common/LittleEndian.h"
#include "patch/ZipEntryName.h"

namespace ombrelta {
namespace {

constexpr std::string_view kManifestHeader = "ombrelta patch manifest 1\n";
constexpr std::uint8_t kUtf8NameFlag = 1;
constexpr std::uint8_t kDirectoryFlag = 2;

std::optional<Sha256Digest> HashEntry(ZipReader& reader, std::uint32_t i) {
    std::optional<Sha256Hasher> hasher = Sha256Hasher::Create();
    if (!hasher || !reader.ReadEntry(i, [&](const std::uint8_t* data, std::size_t size) {
            return hasher->Update(data, size);
        }))
        return std::nullopt;
    return hasher->Finish();
}

// One entry's part of the manifest; false when its data cannot be read and checked.
bool AppendEntry(ZipReader& reader, std::uint32_t i, std::vector<std::uint8_t>& manifest) {
    std::string name;
    const std::optional<DeclaredData> declared = reader.Declared(i);
    const std::optional<Sha256Digest> digest = HashEntry(reader, i);
    if (!reader.EntryName(i, name) || !declared || !digest)
        return false;
    AppendLittleEndian(manifest, static_cast<std::uint16_t>(name.size()));
    manifest.insert(manifest.end(), name.begin(), name.end());
    const std::uint8_t flags =
        (reader.HasUtf8Name(i) ? kUtf8NameFlag : 0) | (reader.IsDirectory(i) ? kDirectoryFlag : 0);
    manifest.push_back(flags);
    AppendLittleEndian(manifest, declared->size);
    AppendLittleEndian(manifest, declared->crc32);
    manifest.insert(manifest.end(), digest->begin(), digest->end());
    return true;
}

}  // namespace

bool IsPatchSignatureEntry(const ZipReader& reader, std::uint32_t i) {
    std::wstring name;
    return SafeEntryName(reader, i, name) && NamesRootFile(name, kPatchSignatureFileName);
}

std::optional<std::vector<std::uint8_t>> BuildPatchManifest(ZipReader& reader, std::uint16_t version) {
    std::vector<std::uint8_t> manifest(kManifestHeader.begin(), kManifestHeader.end());
    AppendLittleEndian(manifest, version);
    const std::size_t countAt = manifest.size();
    AppendLittleEndian(manifest, std::uint32_t{0});
    std::uint32_t count = 0;
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        if (IsPatchSignatureEntry(reader, i))
            continue;
        if (!AppendEntry(reader, i, manifest))
            return std::nullopt;
        ++count;
    }
    StoreLittleEndian(manifest, countAt, count);
    return manifest;
}

}  // namespace ombrelta
