#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/DigestHasher.h"
#include "common/PublicKeySet.h"
#include "patch/ZipReader.h"

namespace ombrelta {

/// The largest "ombrelta.sig" that is read; a real one has about 170 bytes.
inline constexpr std::uint64_t kPatchSignatureMaxSize = 4096;

/// What "ombrelta.sig" holds. Its text is three lines, each ending with "\n":
///   version=N             the patch version the signature is for (1 to 65535)
///   manifest=HEX          SHA-256 of the manifest (BuildPatchManifest), 64 lower-case digits
///   signature=BASE64      ECDSA P-256 / SHA-256 signature of the manifest, DER
struct PatchSignature {
    std::uint16_t version = 0;
    Sha256Digest manifestDigest{};
    std::vector<std::uint8_t> signature;
};

/// The text of "ombrelta.sig".
std::string FormatPatchSignature(const PatchSignature& signature);

/// Reads the text of "ombrelta.sig" ("\r\n" line ends taken too); nothing unless it holds the
/// three lines, each once, in any order, with well-formed values and nothing else.
std::optional<PatchSignature> ParsePatchSignature(std::string_view text);

/// The one "ombrelta.sig" of the open archive; nothing when there is none or more than one, or
/// when it is larger than kPatchSignatureMaxSize, damaged or not well-formed.
std::optional<PatchSignature> ReadPatchSignature(ZipReader& reader);

/// True when the open archive is signed by one of publicKey's keys as the patch of version: its
/// one "ombrelta.sig" names version and the digest of the archive's manifest, and its signature
/// verifies over that manifest. False for every other case, a key set that is not valid included.
bool CheckPatchSignature(ZipReader& reader, const PublicKeySet& publicKey, std::uint16_t version);

}  // namespace ombrelta
