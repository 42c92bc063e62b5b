#include "protocol/PacketWriter.h"

#include <stdexcept>

#include "common/LittleEndian.h"

namespace ombrelta {

void PacketWriter::WriteByte(std::uint8_t value) {
    data.push_back(value);
}

void PacketWriter::WriteUInt16(std::uint16_t value) {
    AppendLittleEndian(data, value);
}

void PacketWriter::WriteUInt32(std::uint32_t value) {
    AppendLittleEndian(data, value);
}

void PacketWriter::WriteString(std::string_view text) {
    if (text.size() > 255)
        throw std::runtime_error("String Too Long");
    data.push_back(static_cast<std::uint8_t>(text.size()));
    data.insert(data.end(), text.begin(), text.end());
}

}  // namespace ombrelta
