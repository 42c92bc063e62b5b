#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ombrelta {

/// Walks over a received payload field by field (little-endian numbers). A read that would run
/// past the end throws std::runtime_error with its fixed "... out of range" text and leaves the
/// position where it was; a read never returns a partial value.
class PacketReader {
public:
    /// Copies the payload; reading starts at its first byte.
    explicit PacketReader(std::vector<std::uint8_t> payload);

    /// One byte; fails with "ReadByte out of range".
    std::uint8_t ReadByte();
    /// Two bytes, low first; fails with "ReadUInt16 out of range".
    std::uint16_t ReadUInt16();
    /// Four bytes, lowest first; fails with "ReadUInt32 out of range".
    std::uint32_t ReadUInt32();
    /// Eight bytes of two's complement, lowest first; fails with "ReadInt64 out of range".
    std::int64_t ReadInt64();
    /// count bytes as narrow text without its trailing zero bytes (the position still moves by
    /// count); fails with "ReadString out of range".
    std::string ReadString(std::uint32_t count);
    /// Exactly count bytes; fails with "ReadBytes out of range".
    std::vector<std::uint8_t> ReadBytes(std::uint32_t count);
    /// Bytes not read yet; never fails.
    std::uint32_t Remaining() const;

private:
    /// Throws std::runtime_error(errorText) unless count more bytes are there.
    void Require(std::uint32_t count, const char* errorText) const;
    /// The next little-endian Number, whose bytes Require has checked.
    template <typename Number>
    Number Take();

    std::vector<std::uint8_t> data;
    std::uint32_t position = 0;
};

}  // namespace ombrelta
