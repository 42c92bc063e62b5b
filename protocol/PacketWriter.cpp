#include "protocol/PacketWriter.h"

#include <stdexcept>

namespace ombrelta {

void PacketWriter::WriteByte(std::uint8_t value) {
    data.push_back(value);
}

void PacketWriter::WriteUInt16(std::uint16_t value) {
    data.push_back(static_cast<std::uint8_t>(value & 0xFFu));
    data.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PacketWriter::WriteUInt32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        data.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFFu));
}

void PacketWriter::WriteString(std::string_view text) {
    if (text.size() > 255)
        throw std::runtime_error("String Too Long");
    data.push_back(static_cast<std::uint8_t>(text.size()));
    data.insert(data.end(), text.begin(), text.end());
}

}  // namespace ombrelta
