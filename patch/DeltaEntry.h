#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/MappedFile.h"
#include "patch/ZipReader.h"

namespace ombrelta {

enum class DeltaOutcome {
    /// The result lies complete and checked in the staging file.
    Applied,
    /// The base is missing or not the one the delta was made from: no staging file is left.
    BaseDiffers,
    /// The result's file cannot be created at its size and mapped for writing (a 32-bit process
    /// without room for it in its address space, a full disk): no staging file is left.
    ResultNotMapped,
    /// The entry is damaged or faulty (its header, its frame, its CRC-32, or a result that does
    /// not match the header): no staging file is left.
    Damaged,
    /// The result was decoded but the system failed to write it out: no staging file is left.
    NotWritten,
};

/// Creates the file at path with exactly size bytes and maps it for writing; nothing when either
/// fails (MappedFile::CreateWritable's contract).
using ResultMapper = std::function<std::optional<MappedFile>(const std::wstring& path, std::uint64_t size)>;

/// Applies delta entry i of reader (see DeltaHeader.h) to the file at base: when base has the
/// header's size, decodes the frame into stagingPath (made by mapResult), a large base's
/// SHA-256 taken on a second thread meanwhile. The result counts only when the base's SHA-256
/// and the result's size and SHA-256 match the header. The base is read through a mapping and
/// the result written through one, so memory use does not grow with the file sizes.
/// Damaged and NotWritten note their cause (NoteFailure): zstd's error name, the check that
/// failed, or the system's error; the outcomes that skip the entry note nothing.
DeltaOutcome ApplyDeltaEntry(ZipReader& reader, std::uint32_t i, const std::wstring& base,
                             const std::wstring& stagingPath,
                             const ResultMapper& mapResult = MappedFile::CreateWritable);

}  // namespace ombrelta
