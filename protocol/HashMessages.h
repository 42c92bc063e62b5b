#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "protocol/HashEntry.h"

namespace ombrelta {

// Payloads of the hash messages, built and parsed without any connection. Builders throw
// std::runtime_error "String Too Long" for a text over 255 bytes. Parsers take a whole answer
// payload, throw std::runtime_error with the operation's invalid-answer text when the type
// code is not HASH_DATA, and the reader's "... out of range" text when the answer is short;
// bytes after the last field are ignored.

/// HASH_LIST_REQUEST request: code, clientName, "UNKNOWN".
std::vector<std::uint8_t> BuildHashListRequest(std::string_view clientName);
/// Hash list answer: the entries in the server's order. Sizes above 4294967295 become
/// 4294967295, negative sizes their low 32 bits. Wrong code: "Invalid hash response.".
std::vector<HashEntry> ParseHashListAnswer(const std::vector<std::uint8_t>& payload);
/// The size field of a hash list entry as the 32-bit size the launcher works with.
std::uint32_t ClampHashEntrySize(std::int64_t wireSize);

/// FILE_CHUNK request: HASH_DATA, sub-type 1, fileId, offset.
std::vector<std::uint8_t> BuildFileChunkRequest(std::uint16_t fileId, std::uint32_t offset);
/// The most file bytes one FILE_CHUNK answer carries: a packet of 65535 bytes less the length,
/// code, sub-type, file id, last flag and size fields.
inline constexpr std::uint32_t kLargestFileChunk = 65535 - 2 - 2 - 2 - 2 - 4 - 4;
/// FILE_CHUNK answer: the chunk's bytes (empty for a size of 0 or less). last is set to
/// (lastFlag == 1) as soon as that flag has been read. A size larger than the bytes that came
/// with it throws "Hash chunk size mismatch. size=S remaining=R index=fileId offset=offset".
/// Wrong code: "Invalid response for hash file download.".
std::vector<std::uint8_t> ParseFileChunkAnswer(const std::vector<std::uint8_t>& payload,
                                               std::uint16_t fileId,
                                               std::uint32_t offset,
                                               bool& last);

/// One answer to GET_BLOCK_MAP: the whole map's size (0: the file has none) and a piece of it.
struct BlockMapPiece {
    std::uint32_t mapSize = 0;
    std::vector<std::uint8_t> bytes;
};

/// GET_BLOCK_MAP request: code, fileId, offset into the map's bytes.
std::vector<std::uint8_t> BuildBlockMapRequest(std::uint16_t fileId, std::uint32_t offset);
/// GET_BLOCK_MAP answer. Wrong code, or a piece announced longer than the bytes that came:
/// "Invalid block map response.".
BlockMapPiece ParseBlockMapAnswer(const std::vector<std::uint8_t>& payload);

}  // namespace ombrelta
