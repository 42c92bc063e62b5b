#include "patch/DeltaHeader.h"

#include <algorithm>

#include "common/LittleEndian.h"

namespace ombrelta {
namespace {

constexpr std::array<std::uint8_t, 8> kMagic{'O', 'M', 'B', 'D', 'E', 'L', 'T', 'A'};
constexpr std::uint32_t kFormatVersion = 1;

}  // namespace

std::vector<std::uint8_t> FormatDeltaHeader(const DeltaHeader& header) {
    std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
    AppendLittleEndian(out, kFormatVersion);
    AppendLittleEndian(out, header.baseSize);
    out.insert(out.end(), header.baseSha256.begin(), header.baseSha256.end());
    AppendLittleEndian(out, header.resultSize);
    out.insert(out.end(), header.resultSha256.begin(), header.resultSha256.end());
    return out;
}

std::optional<DeltaHeader> ParseDeltaHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kDeltaHeaderSize || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()) ||
        LoadLittleEndian<std::uint32_t>(bytes, 8) != kFormatVersion)
        return std::nullopt;
    DeltaHeader header;
    header.baseSize = LoadLittleEndian<std::uint64_t>(bytes, 12);
    std::copy_n(bytes.begin() + 20, 32, header.baseSha256.begin());
    header.resultSize = LoadLittleEndian<std::uint64_t>(bytes, 52);
    std::copy_n(bytes.begin() + 60, 32, header.resultSha256.begin());
    if (header.baseSize > kDeltaSizeLimit || header.resultSize > kDeltaSizeLimit)
        return std::nullopt;
    return header;
}

}  // namespace ombrelta
