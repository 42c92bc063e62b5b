#include "protocol/PatchMessages.h"

#include "protocol/MessageCodes.h"
#include "protocol/MessageFields.h"
#include "protocol/PacketReader.h"
#include "protocol/PacketWriter.h"

namespace ombrelta {
namespace {

constexpr std::uint32_t kNoPatchStatus = 1;

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
    PacketReader reader = ReadAnswerCode(payload, HAS_NEXT_PATCH, "Invalid has next patch response.");
    return reader.ReadByte() == 1;
}

std::vector<std::uint8_t> BuildNextPatchRequest(std::uint16_t version) {
    PacketWriter writer;
    writer.WriteUInt16(GET_NEXT_PATCH);
    writer.WriteUInt16(version);
    return writer.Take();
}

PatchInfo ParseNextPatchAnswer(const std::vector<std::uint8_t>& payload) {
    PacketReader reader = ReadAnswerCode(payload, GET_NEXT_PATCH, "Invalid get next patch response.");
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
    return BuildOffsetRequest({GET_PATCH_CHUNK, version}, offset);
}

std::vector<std::uint8_t> ParsePatchChunkAnswer(const std::vector<std::uint8_t>& payload, bool& last) {
    PacketReader reader = ReadAnswerCode(payload, GET_PATCH_CHUNK, "Invalid patch chunk response.");
    return reader.ReadBytes(ReadChunkHead(reader, last));
}

}  // namespace ombrelta
