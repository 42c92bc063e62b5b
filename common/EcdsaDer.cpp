#include "common/EcdsaDer.h"

#include <algorithm>
#include <cstddef>

namespace ombrelta {
namespace {

constexpr std::uint8_t kSequenceTag = 0x30;
constexpr std::uint8_t kIntegerTag = 0x02;

// The order n of the P-256 group (SEC 2, secp256r1).
constexpr std::array<std::uint8_t, 32> kP256Order = {
    0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xBC, 0xE6, 0xFA, 0xAD, 0xA7, 0x17, 0x9E, 0x84, 0xF3, 0xB9, 0xCA, 0xC2, 0xFC, 0x63, 0x25, 0x51};

// Reads one INTEGER at der[offset] into out (32 bytes, big-endian) and advances offset.
// Every signature fits in 127 bytes, so only the short length form is valid.
bool ReadScalar(std::span<const std::uint8_t> der, std::size_t& offset, std::uint8_t* out) {
    if (der.size() - offset < 2 || der[offset] != kIntegerTag)
        return false;
    const std::size_t length = der[offset + 1];
    offset += 2;
    if (length == 0 || length > 33 || der.size() - offset < length)
        return false;
    std::span<const std::uint8_t> value = der.subspan(offset, length);
    offset += length;
    if (value[0] & 0x80)
        return false;  // negative
    if (value[0] == 0) {
        if (length == 1 || !(value[1] & 0x80))
            return false;  // zero, or a needless leading zero
        value = value.subspan(1);
    }
    if (value.size() > 32)
        return false;
    std::fill(out, out + 32, 0);
    std::copy(value.begin(), value.end(), out + 32 - value.size());
    return std::lexicographical_compare(out, out + 32, kP256Order.begin(), kP256Order.end());
}

}  // namespace

std::optional<P256RawSignature> ParseP256DerSignature(std::span<const std::uint8_t> der) {
    if (der.size() < 2 || der[0] != kSequenceTag || der[1] != der.size() - 2)
        return std::nullopt;
    P256RawSignature raw{};
    std::size_t offset = 2;
    if (!ReadScalar(der, offset, raw.data()) || !ReadScalar(der, offset, raw.data() + 32))
        return std::nullopt;
    if (offset != der.size())
        return std::nullopt;
    return raw;
}

}  // namespace ombrelta
