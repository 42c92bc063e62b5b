#include "protocol/PatchMessages.h"

#include <stdexcept>

#include "protocol/MessageCodes.h"
#include "protocol/PacketReader.h"
#include "protocol/PacketWriter.h"

namespace ombrelta {
namespace {

constexpr std::uint32_t kNoPatchStatus = 1;
constexpr std::uint32_t kLastChunkFlag = 1;

void ExpectCode(PacketReader& reader, MessageCode expected, const char* invalidText) {
    if (reader.ReadUInt16() != expected)
        throw std::runtime_error(invalidText);
}

}  // namespace

std::vector<std::uint8_t> BuildHasNextPatchRequest(std::uint16_t version,
                                                   std::string_view clientName,
                                                   std::string_view clientTag) {
    PacketWriter writer;
    writer.WriteUInt16(HAS_NEXT_PATCH);
    writer.WriteUInt16(version);
    writer.WriteString(clientName);
    writer.WriteString(clientTag);
    return writer.Take();
}

bool ParseHasNextPatchAnswer(const std::vector<std::uint8_t>& payload) {
    PacketReader reader(payload);
    ExpectCode(reader, HAS_NEXT_PATCH, "Invalid has next patch response.");
    return reader.ReadByte() == 1;
}

std::vector<std::uint8_t> BuildNextPatchRequest(std::uint16_t version) {
    PacketWriter writer;
    writer.WriteUInt16(GET_NEXT_PATCH);
    writer.WriteUInt16(version);
    return writer.Take();
}

PatchInfo ParseNextPatchAnswer(const std::vector<std::uint8_t>& payload) {
    PacketReader reader(payload);
    ExpectCode(reader, GET_NEXT_PATCH, "Invalid get next patch response.");
    if (reader.ReadUInt32() == kNoPatchStatus)
        return PatchInfo{};
    PatchInfo info;
    info.found = true;
    info.version = reader.ReadUInt16();
    info.extraValue = reader.ReadUInt16();
    [[maybe_unused]] const std::uint8_t reservedByte = reader.ReadByte();
    std::uint8_t nameLength = reader.ReadByte();
    info.fileName = reader.ReadString(nameLength);
    info.size = reader.ReadUInt32();
    return info;
}

std::vector<std::uint8_t> BuildPatchChunkRequest(std::uint16_t version, std::uint32_t offset) {
    PacketWriter writer;
    writer.WriteUInt16(GET_PATCH_CHUNK);
    writer.WriteUInt16(version);
    writer.WriteUInt32(offset);
    return writer.Take();
}

std::vector<std::uint8_t> ParsePatchChunkAnswer(const std::vector<std::uint8_t>& payload, bool& last) {
    PacketReader reader(payload);
    ExpectCode(reader, GET_PATCH_CHUNK, "Invalid patch chunk response.");
    last = reader.ReadUInt32() == kLastChunkFlag;
    auto chunkSize = static_cast<std::int32_t>(reader.ReadUInt32());
    if (chunkSize <= 0)
        return {};
    return reader.ReadBytes(static_cast<std::uint32_t>(chunkSize));
}

}  // namespace ombrelta
