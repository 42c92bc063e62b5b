#pragma once

#include <cstdint>
#include <string>

#include "patch/ZipReader.h"

namespace ombrelta {

enum class DeltaOutcome {
    /// The result lies complete and checked in the staging file.
    Applied,
    /// The base is missing or not the one the delta was made from: no staging file is left.
    BaseDiffers,
    /// The entry is damaged or faulty, or the result cannot be written: no staging file is left.
    Failed,
};

/// Applies delta entry i of reader (see DeltaHeader.h) to the file at base: when base has the
/// header's size, decodes the frame into stagingPath (created or truncated), a large base's
/// SHA-256 taken on a second thread meanwhile. The result counts only when the base's SHA-256
/// and the result's size and SHA-256 match the header. The base is read through a mapping and
/// the result written through one, so memory use does not grow with the file sizes.
DeltaOutcome ApplyDeltaEntry(ZipReader& reader, std::uint32_t i, const std::wstring& base,
                             const std::wstring& stagingPath);

}  // namespace ombrelta
