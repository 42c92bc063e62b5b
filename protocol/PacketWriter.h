#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace ombrelta {

/// Builds a request payload field by field; every number is little-endian.
class PacketWriter {
public:
    /// Appends one byte.
    void WriteByte(std::uint8_t value);
    /// Appends the low byte, then the high byte.
    void WriteUInt16(std::uint16_t value);
    /// Appends the four bytes from the lowest to the highest.
    void WriteUInt32(std::uint32_t value);
    /// Appends a length byte and the bytes of text. Throws std::runtime_error "String Too Long"
    /// and appends nothing when text is longer than 255 bytes.
    void WriteString(std::string_view text);

    /// The payload written so far.
    const std::vector<std::uint8_t>& Data() const { return data; }
    /// Hands the payload over, leaving the writer empty.
    std::vector<std::uint8_t> Take() { return std::move(data); }

private:
    std::vector<std::uint8_t> data;
};

}  // namespace ombrelta
