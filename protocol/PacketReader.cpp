#include "protocol/PacketReader.h"

#include <stdexcept>
#include <utility>

namespace ombrelta {

PacketReader::PacketReader(std::vector<std::uint8_t> payload) : data(std::move(payload)) {}

void PacketReader::Require(std::uint32_t count, const char* errorText) const {
    // Compared as a subtraction so that a huge count cannot wrap position + count around.
    if (count > Remaining())
        throw std::runtime_error(errorText);
}

std::uint64_t PacketReader::TakeLittleEndian(std::uint32_t count) {
    std::uint64_t value = 0;
    for (std::uint32_t i = 0; i < count; ++i)
        value |= static_cast<std::uint64_t>(data[position + i]) << (8 * i);
    position += count;
    return value;
}

std::uint8_t PacketReader::ReadByte() {
    Require(1, "ReadByte out of range");
    return static_cast<std::uint8_t>(TakeLittleEndian(1));
}

std::uint16_t PacketReader::ReadUInt16() {
    Require(2, "ReadUInt16 out of range");
    return static_cast<std::uint16_t>(TakeLittleEndian(2));
}

std::uint32_t PacketReader::ReadUInt32() {
    Require(4, "ReadUInt32 out of range");
    return static_cast<std::uint32_t>(TakeLittleEndian(4));
}

std::int64_t PacketReader::ReadInt64() {
    Require(8, "ReadInt64 out of range");
    return static_cast<std::int64_t>(TakeLittleEndian(8));
}

std::string PacketReader::ReadString(std::uint32_t count) {
    Require(count, "ReadString out of range");
    auto first = data.begin() + position;
    std::string text(first, first + count);
    position += count;
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

std::vector<std::uint8_t> PacketReader::ReadBytes(std::uint32_t count) {
    Require(count, "ReadBytes out of range");
    auto first = data.begin() + position;
    std::vector<std::uint8_t> bytes(first, first + count);
    position += count;
    return bytes;
}

std::uint32_t PacketReader::Remaining() const {
    return static_cast<std::uint32_t>(data.size()) - position;
}

}  // namespace ombrelta
