#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "patch/ZipReader.h"

namespace ombrelta {

/// Name of the root entry that carries a patch's signature; extraction never writes it.
inline constexpr std::wstring_view kPatchSignatureFileName = L"ombrelta.sig";

/// True when entry i of the open archive is a root "ombrelta.sig", in any spelling that
/// NamesRootFile takes for it.
bool IsPatchSignatureEntry(const ZipReader& reader, std::uint32_t i);

/// The bytes a patch signature covers: the archive open in reader as the patch of version.
/// Layout (integers little-endian):
///   "ombrelta patch manifest 1\n", version (u16), number of entries that follow (u32), then for
///   every entry but "ombrelta.sig", in central-directory order: stored name length (u16), the
///   stored name bytes, flags (u8: 1 = name flagged UTF-8, 2 = directory entry), uncompressed
///   size (u64), CRC-32 (u32) and the SHA-256 of the uncompressed data (32 bytes).
/// The SHA-256 is there because a CRC-32 can be matched by anyone. Reads every entry's data;
/// nothing when one cannot be read or does not match its declared size and CRC-32.
std::optional<std::vector<std::uint8_t>> BuildPatchManifest(ZipReader& reader, std::uint16_t version);

}  // namespace ombrelta
