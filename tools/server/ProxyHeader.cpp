#include "tools/server/ProxyHeader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "common/Decimal.h"

namespace ombrelta::server {
namespace {

constexpr std::uint8_t kSignature[12] = {0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D, 0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};
constexpr std::uint8_t kVersion2 = 0x20;
constexpr std::uint8_t kCommandLocal = 0x00;
constexpr std::uint8_t kCommandProxy = 0x01;
constexpr std::uint8_t kFamilyUnspecified = 0x0;
constexpr std::uint8_t kFamilyInet = 0x1;
constexpr std::uint8_t kFamilyInet6 = 0x2;
constexpr std::uint8_t kTransportStream = 0x1;
// Source and destination address, then source and destination port.
constexpr std::size_t kInetBlock = 4 + 4 + 2 + 2;
constexpr std::size_t kInet6Block = 16 + 16 + 2 + 2;

std::uint16_t BigEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

template <std::size_t N>
std::array<unsigned char, N> AddressBytes(const std::uint8_t* bytes) {
    std::array<unsigned char, N> address;
    std::memcpy(address.data(), bytes, N);
    return address;
}

// The bytes of an address, IPv4 as four and IPv6 as sixteen.
std::vector<unsigned char> BytesOf(const asio::ip::address& address) {
    if (address.is_v4()) {
        const auto bytes = address.to_v4().to_bytes();
        return {bytes.begin(), bytes.end()};
    }
    const auto bytes = address.to_v6().to_bytes();
    return {bytes.begin(), bytes.end()};
}

bool SamePrefix(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, unsigned bits) {
    const std::size_t whole = bits / 8;
    if (!std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(whole), b.begin()))
        return false;
    const unsigned rest = bits % 8;
    if (rest == 0)
        return true;
    const unsigned mask = (0xFFu << (8 - rest)) & 0xFFu;
    return (a[whole] & mask) == (b[whole] & mask);
}

}  // namespace

std::optional<ProxyPrefix> ParseProxyPrefix(std::span<const std::uint8_t, kProxyHeaderFixedSize> fixed) {
    if (!std::equal(std::begin(kSignature), std::end(kSignature), fixed.begin()))
        return std::nullopt;
    const std::uint8_t command = fixed[12] & 0x0F;
    if ((fixed[12] & 0xF0) != kVersion2 || (command != kCommandLocal && command != kCommandProxy))
        return std::nullopt;
    const std::size_t remaining = BigEndian16(&fixed[14]);
    if (kProxyHeaderFixedSize + remaining > kProxyHeaderMaxSize)
        return std::nullopt;
    return ProxyPrefix{.remaining = remaining};
}

std::optional<asio::ip::tcp::endpoint> ParseProxyHeader(std::span<const std::uint8_t> header) {
    if (header.size() < kProxyHeaderFixedSize)
        throw std::runtime_error("PROXY header too short");
    const std::uint8_t family = header[13] >> 4;
    if ((header[12] & 0x0F) == kCommandLocal || family == kFamilyUnspecified)
        return std::nullopt;
    if ((header[13] & 0x0F) != kTransportStream)
        throw std::runtime_error("PROXY header for a transport other than TCP");
    const std::span<const std::uint8_t> block = header.subspan(kProxyHeaderFixedSize);
    if (family == kFamilyInet && block.size() >= kInetBlock) {
        const asio::ip::address_v4 address(AddressBytes<4>(block.data()));
        return asio::ip::tcp::endpoint(address, BigEndian16(&block[8]));
    }
    if (family == kFamilyInet6 && block.size() >= kInet6Block) {
        const asio::ip::address_v6 address(AddressBytes<16>(block.data()));
        return asio::ip::tcp::endpoint(address, BigEndian16(&block[32]));
    }
    throw std::runtime_error("PROXY header with a damaged address block");
}

ProxySources ProxySources::Parse(const std::string& list) {
    ProxySources sources;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string item = list.substr(start, comma - start);
        const std::size_t slash = item.find('/');
        std::error_code error;
        Range range{.network = asio::ip::make_address(item.substr(0, slash), error)};
        const unsigned maxBits = range.network.is_v4() ? 32 : 128;
        range.prefixLength = maxBits;
        if (!error && slash != std::string::npos) {
            const std::optional<unsigned> length = ParseDecimal<unsigned>(std::string_view(item).substr(slash + 1));
            if (!length || *length > maxBits)
                error = std::make_error_code(std::errc::invalid_argument);
            else
                range.prefixLength = *length;
        }
        if (error)
            throw std::invalid_argument("not an address or address/prefix: " + item);
        sources.ranges.push_back(range);
        start = comma + 1;
    }
    return sources;
}

bool ProxySources::Contains(const asio::ip::address& address) const {
    // A client reached over IPv6 as ::ffff:a.b.c.d is the IPv4 peer a.b.c.d.
    asio::ip::address plain = address;
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        plain = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    const std::vector<unsigned char> bytes = BytesOf(plain);
    return std::any_of(ranges.begin(), ranges.end(), [&](const Range& range) {
        return range.network.is_v4() == plain.is_v4() && SamePrefix(BytesOf(range.network), bytes, range.prefixLength);
    });
}

}  // namespace ombrelta::server
