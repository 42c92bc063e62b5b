#include "protocol/MessageFields.h"

#include <stdexcept>

#include "protocol/PacketWriter.h"

namespace ombrelta {

std::vector<std::uint8_t> BuildOffsetRequest(std::initializer_list<std::uint16_t> words,
                                             std::uint32_t offset) {
    PacketWriter writer;
    for (const std::uint16_t word : words)
        writer.WriteUInt16(word);
    writer.WriteUInt32(offset);
    return writer.Take();
}

PacketReader ReadAnswerCode(const std::vector<std::uint8_t>& payload,
                            std::uint16_t expected,
                            const char* invalidText) {
    PacketReader reader(payload);
    if (reader.ReadUInt16() != expected)
        throw std::runtime_error(invalidText);
    return reader;
}

std::uint32_t ReadChunkHead(PacketReader& reader, bool& last) {
    constexpr std::uint32_t kLastChunkFlag = 1;
    last = reader.ReadUInt32() == kLastChunkFlag;
    const auto size = static_cast<std::int32_t>(reader.ReadUInt32());
    return size <= 0 ? 0 : static_cast<std::uint32_t>(size);
}

}  // namespace ombrelta
