#pragma once

#include <cstdint>

namespace ombrelta {

/// The first uint16 of every payload.
enum MessageCode : std::uint16_t {
    GET_NEXT_PATCH = 40100,
    GET_PATCH_CHUNK = 40101,
    HASH_DATA = 40102,
    HASH_LIST_REQUEST = 40103,
    HAS_NEXT_PATCH = 40104,
    /// A piece of a game file's block map; sent only by launchers with `blockrepair`.
    GET_BLOCK_MAP = 40105,
};

/// Sub-type of a HASH_DATA request that asks for a game file chunk.
inline constexpr std::uint16_t kFileChunkSubType = 1;

}  // namespace ombrelta
