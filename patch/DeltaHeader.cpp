#include "patch/DeltaHeader.h"

#include <algorithm>

namespace ombrelta {
namespace {

constexpr std::array<std::uint8_t, 8> kMagic{'O', 'M', 'B', 'D', 'E', 'L', 'T', 'A'};
constexpr std::uint32_t kFormatVersion = 1;

void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t GetLittleEndian(std::span<const std::uint8_t> bytes, std::size_t offset, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[offset + static_cast<std::size_t>(i)];
    return value;
}

}  // namespace

std::vector<std::uint8_t> FormatDeltaHeader(const DeltaHeader& header) {
    std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
    PutLittleEndian(out, kFormatVersion, 4);
    PutLittleEndian(out, header.baseSize, 8);
    out.insert(out.end(), header.baseSha256.begin(), header.baseSha256.end());
    PutLittleEndian(out, header.resultSize, 8);
    out.insert(out.end(), header.resultSha256.begin(), header.resultSha256.end());
    return out;
}

std::optional<DeltaHeader> ParseDeltaHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kDeltaHeaderSize || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()) ||
        GetLittleEndian(bytes, 8, 4) != kFormatVersion)
        return std::nullopt;
    DeltaHeader header;
    header.baseSize = GetLittleEndian(bytes, 12, 8);
    std::copy_n(bytes.begin() + 20, 32, header.baseSha256.begin());
    header.resultSize = GetLittleEndian(bytes, 52, 8);
    std::copy_n(bytes.begin() + 60, 32, header.resultSha256.begin());
    if (header.baseSize > kDeltaSizeLimit || header.resultSize > kDeltaSizeLimit)
        return std::nullopt;
    return header;
}

}  // namespace ombrelta
