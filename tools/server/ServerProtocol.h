#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "tools/content/HashListAnswer.h"

namespace ombrelta::server {

/// Largest payload one packet carries (its length field counts itself).
inline constexpr std::size_t kMaxPayload = 65533;
/// Largest request payload: HAS_NEXT_PATCH with two 255-byte texts (518 bytes with the length).
inline constexpr std::size_t kMaxRequestPayload = 516;
/// Largest data part of a patch chunk answer: the payload minus its 10 header bytes.
inline constexpr std::uint32_t kMaxPatchChunk = 65523;
/// Largest data part of a file chunk answer: the payload minus its 14 header bytes.
inline constexpr std::uint32_t kMaxFileChunk = 65519;
/// Largest piece of a block map answer: the payload minus its 10 header bytes.
inline constexpr std::uint32_t kMaxBlockMapPiece = 65523;

/// HAS_NEXT_PATCH: is there a patch above version?
struct HasNextPatchRequest {
    std::uint16_t version = 0;
    std::string clientName;
    std::string clientTag;
};

/// GET_NEXT_PATCH: the record of the patch that follows version.
struct NextPatchRequest {
    std::uint16_t version = 0;
};

/// GET_PATCH_CHUNK: archive bytes of the patch named by version, from offset.
struct PatchChunkRequest {
    std::uint16_t version = 0;
    std::uint32_t offset = 0;
};

/// HASH_LIST_REQUEST: the list of game files.
struct HashListRequest {
    std::string clientName;
    std::string clientTag;
};

/// HASH_DATA with sub-type 1: bytes of game file fileId, from offset.
struct FileChunkRequest {
    std::uint16_t fileId = 0;
    std::uint32_t offset = 0;
};

/// GET_BLOCK_MAP: the bytes of game file fileId's block map, from offset.
struct BlockMapRequest {
    std::uint16_t fileId = 0;
    std::uint32_t offset = 0;
};

using Request = std::variant<HasNextPatchRequest,
                             NextPatchRequest,
                             PatchChunkRequest,
                             HashListRequest,
                             FileChunkRequest,
                             BlockMapRequest>;

/// The kinds of request, as counted; Unknown for a type or sub-type the server does not know.
enum class RequestKind { HasNextPatch, NextPatch, PatchChunk, HashList, FileChunk, BlockMap, Unknown };

/// The kind a request payload names by its type (and sub-type) field, whether or not the rest of
/// it is well formed; Unknown when it is too short to name one.
RequestKind KindOfRequest(std::span<const std::uint8_t> payload);

/// The payload size announced by a request's two length bytes. Nothing, with why naming the
/// fault, when the length carries no payload or exceeds the largest valid request, so nothing
/// is ever allocated for a length no request can have.
std::optional<std::size_t> RequestPayloadSize(std::uint8_t low, std::uint8_t high, std::string& why);

/// Decodes one request payload. Nothing, with why naming the fault, for an unknown type or
/// sub-type and for any payload whose length does not match its fields exactly. Never throws
/// for bad bytes (only std::bad_alloc can escape).
std::optional<Request> ParseRequest(std::span<const std::uint8_t> payload, std::string& why);

/// The patch record of a GET_NEXT_PATCH answer.
struct PatchRecord {
    std::uint16_t version = 0;
    std::string fileName;
    std::uint32_t size = 0;
};

/// HAS_NEXT_PATCH answer: the flag byte 1 or 0.
std::vector<std::uint8_t> HasNextPatchAnswer(bool hasNext);
/// GET_NEXT_PATCH answer: status 0 and the record, or status 1 alone when record is null.
/// Throws std::runtime_error when the file name exceeds 255 bytes.
std::vector<std::uint8_t> NextPatchAnswer(const PatchRecord* record);
/// GET_PATCH_CHUNK answer ending with room for dataSize bytes, which the caller fills (so chunk
/// data is read straight into the answer). Throws std::runtime_error above kMaxPatchChunk.
std::vector<std::uint8_t> PatchChunkAnswer(bool last, std::uint32_t dataSize);
/// File chunk answer ending with room for dataSize bytes, which the caller fills. Throws
/// std::runtime_error above kMaxFileChunk.
std::vector<std::uint8_t> FileChunkAnswer(bool last, std::uint32_t dataSize);

/// GET_BLOCK_MAP answer: the map's whole size (0 for a file without one) and the piece of it
/// asked for. Throws std::runtime_error above kMaxBlockMapPiece.
std::vector<std::uint8_t> BlockMapAnswer(std::uint32_t mapSize, std::span<const std::uint8_t> piece);

/// The two length bytes that go on the wire before a payload of payloadSize bytes (the length
/// counts itself). Throws std::runtime_error for an empty payload or one over kMaxPayload bytes.
std::array<std::uint8_t, 2> PacketLength(std::size_t payloadSize);

}  // namespace ombrelta::server
