#include "protocol/HashMessages.h"

#include <stdexcept>
#include <string>

#include "protocol/MessageCodes.h"
#include "protocol/MessageFields.h"
#include "protocol/PacketReader.h"
#include "protocol/PacketWriter.h"

namespace ombrelta {
namespace {

constexpr std::int64_t kMaxSize = 4294967295LL;

HashEntry ReadEntry(PacketReader& reader) {
    HashEntry entry;
    entry.id = reader.ReadByte();
    std::uint8_t pathLength = reader.ReadByte();
    entry.path = reader.ReadString(pathLength);
    std::uint8_t hashLength = reader.ReadByte();
    entry.hash = reader.ReadString(hashLength);
    entry.size = ClampHashEntrySize(reader.ReadInt64());
    return entry;
}

}  // namespace

std::uint32_t ClampHashEntrySize(std::int64_t wireSize) {
    if (wireSize > kMaxSize)
        return static_cast<std::uint32_t>(kMaxSize);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(wireSize) & 0xFFFFFFFFu);
}

std::vector<std::uint8_t> BuildHashListRequest(std::string_view clientName) {
    PacketWriter writer;
    writer.WriteUInt16(HASH_LIST_REQUEST);
    writer.WriteString(clientName);
    writer.WriteString("UNKNOWN");
    return writer.Take();
}

std::vector<HashEntry> ParseHashListAnswer(const std::vector<std::uint8_t>& payload) {
    PacketReader reader = ReadAnswerCode(payload, HASH_DATA, "Invalid hash response.");
    // Like every HASH_DATA message the answer carries a sub-type; the request already says which
    // answer comes, so it is not checked.
    [[maybe_unused]] const std::uint16_t subType = reader.ReadUInt16();
    std::uint8_t count = reader.ReadByte();
    std::vector<HashEntry> entries;
    entries.reserve(count);
    for (std::uint8_t i = 0; i < count; ++i)
        entries.push_back(ReadEntry(reader));
    return entries;
}

std::vector<std::uint8_t> BuildFileChunkRequest(std::uint16_t fileId, std::uint32_t offset) {
    return BuildOffsetRequest({HASH_DATA, kFileChunkSubType, fileId}, offset);
}

std::vector<std::uint8_t> ParseFileChunkAnswer(const std::vector<std::uint8_t>& payload,
                                               std::uint16_t fileId,
                                               std::uint32_t offset,
                                               bool& last) {
    PacketReader reader = ReadAnswerCode(payload, HASH_DATA, "Invalid response for hash file download.");
    // The sub-type and file id slots of the request; servers may leave them 0, so neither is checked.
    [[maybe_unused]] const std::uint16_t subType = reader.ReadUInt16();
    [[maybe_unused]] const std::uint16_t answerFileId = reader.ReadUInt16();
    const std::uint32_t chunkSize = ReadChunkHead(reader, last);
    if (chunkSize > reader.Remaining()) {
        throw std::runtime_error("Hash chunk size mismatch. size=" + std::to_string(chunkSize) +
                                 " remaining=" + std::to_string(reader.Remaining()) +
                                 " index=" + std::to_string(fileId) + " offset=" + std::to_string(offset));
    }
    return reader.ReadBytes(chunkSize);
}

std::vector<std::uint8_t> BuildBlockMapRequest(std::uint16_t fileId, std::uint32_t offset) {
    return BuildOffsetRequest({GET_BLOCK_MAP, fileId}, offset);
}

BlockMapPiece ParseBlockMapAnswer(const std::vector<std::uint8_t>& payload) {
    constexpr const char* kInvalid = "Invalid block map response.";
    PacketReader reader = ReadAnswerCode(payload, GET_BLOCK_MAP, kInvalid);
    BlockMapPiece piece;
    piece.mapSize = reader.ReadUInt32();
    const std::uint32_t count = reader.ReadUInt32();
    if (count > reader.Remaining())
        throw std::runtime_error(kInvalid);
    piece.bytes = reader.ReadBytes(count);
    return piece;
}

}  // namespace ombrelta
