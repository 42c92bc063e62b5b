#include "patch/PatchSignature.h"

#include <charconv>
#include <map>

#include "common/Base64.h"
#include "common/Decimal.h"
#include "common/Hex.h"
#include "patch/PatchManifest.h"

namespace ombrelta {
namespace {

std::optional<Sha256Digest> DigestFromHex(std::string_view hex) {
    Sha256Digest digest{};
    if (hex.size() != digest.size() * 2)
        return std::nullopt;
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const auto [end, error] = std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, digest[i], 16);
        if (error != std::errc() || end != hex.data() + 2 * i + 2)
            return std::nullopt;
    }
    return digest;
}

std::optional<std::uint16_t> VersionFromText(std::string_view text) {
    const std::optional<std::uint16_t> version = ParseDecimal<std::uint16_t>(text);
    return version && *version >= 1 ? version : std::nullopt;
}

// "key=value" lines, each key once; nothing when a line is not of that shape.
std::optional<std::map<std::string, std::string>> Lines(std::string_view text) {
    std::map<std::string, std::string> values;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos)
            return std::nullopt;
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos ||
            !values.emplace(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1))).second)
            return std::nullopt;
    }
    return values;
}

}  // namespace

std::string FormatPatchSignature(const PatchSignature& signature) {
    return "version=" + std::to_string(signature.version) + "\nmanifest=" + BytesToHex(signature.manifestDigest) +
           "\nsignature=" + EncodeBase64(signature.signature) + "\n";
}

std::optional<PatchSignature> ParsePatchSignature(std::string_view text) {
    const std::optional<std::map<std::string, std::string>> values = Lines(text);
    if (!values || values->size() != 3 || !values->contains("version") || !values->contains("manifest") ||
        !values->contains("signature"))
        return std::nullopt;
    const std::optional<std::uint16_t> version = VersionFromText(values->at("version"));
    const std::optional<Sha256Digest> digest = DigestFromHex(values->at("manifest"));
    std::optional<std::vector<std::uint8_t>> signature = DecodeBase64(values->at("signature"));
    if (!version || !digest || !signature || signature->empty())
        return std::nullopt;
    return PatchSignature{.version = *version, .manifestDigest = *digest, .signature = std::move(*signature)};
}

std::optional<PatchSignature> ReadPatchSignature(ZipReader& reader) {
    std::optional<std::uint32_t> entry;
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        if (!IsPatchSignatureEntry(reader, i))
            continue;
        if (entry)
            return std::nullopt;
        entry = i;
    }
    const std::optional<DeclaredData> declared = entry ? reader.Declared(*entry) : std::nullopt;
    if (!declared || declared->size > kPatchSignatureMaxSize || reader.IsDirectory(*entry))
        return std::nullopt;
    std::string text;
    if (!reader.ReadEntry(*entry, [&](const std::uint8_t* data, std::size_t size) {
            text.append(reinterpret_cast<const char*>(data), size);
            return true;
        }))
        return std::nullopt;
    return ParsePatchSignature(text);
}

bool CheckPatchSignature(ZipReader& reader, const PublicKeySet& publicKey, std::uint16_t version) {
    const std::optional<PatchSignature> signature = ReadPatchSignature(reader);
    if (!signature || signature->version != version)
        return false;
    const std::optional<std::vector<std::uint8_t>> manifest = BuildPatchManifest(reader, version);
    if (!manifest || Sha256Hasher::Of(*manifest) != signature->manifestDigest)
        return false;
    return publicKey.Verifies(*manifest, signature->signature);
}

}  // namespace ombrelta
