#include "protocol/PacketReader.h"

#include <stdexcept>
#include <utility>

#include "common/LittleEndian.h"

namespace ombrelta {

PacketReader::PacketReader(std::vector<std::uint8_t> payload) : data(std::move(payload)) {}

void PacketReader::Require(std::uint32_t count, const char* errorText) const {
    // Compared as a subtraction so that a huge count cannot wrap position + count around.
    if (count > Remaining())
        throw std::runtime_error(errorText);
}

template <typename Number>
Number PacketReader::Take() {
    const Number value = LoadLittleEndian<Number>(data, position);
    position += sizeof(Number);
    return value;
}

std::uint8_t PacketReader::ReadByte() {
    Require(1, "ReadByte out of range");
    return Take<std::uint8_t>();
}

std::uint16_t PacketReader::ReadUInt16() {
    Require(2, "ReadUInt16 out of range");
    return Take<std::uint16_t>();
}

std::uint32_t PacketReader::ReadUInt32() {
    Require(4, "ReadUInt32 out of range");
    return Take<std::uint32_t>();
}

std::int64_t PacketReader::ReadInt64() {
    Require(8, "ReadInt64 out of range");
    return static_cast<std::int64_t>(Take<std::uint64_t>());
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
