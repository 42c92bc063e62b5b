#include "tools/server/ProxyHeader.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta::server {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A version 2 header: command byte, family byte, then the address block and any TLVs.
Bytes Header(std::uint8_t command, std::uint8_t family, const Bytes& rest) {
    Bytes bytes{0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D, 0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A, command, family,
                static_cast<std::uint8_t>(rest.size() >> 8), static_cast<std::uint8_t>(rest.size())};
    for (std::uint8_t byte : rest)
        bytes.push_back(byte);
    return bytes;
}

const Bytes kInetBlock{203, 0, 113, 7, 127, 0, 0, 1, 0xC8, 0x22, 0xB7, 0x98};

std::optional<ProxyPrefix> Prefix(const Bytes& header) {
    return ParseProxyPrefix(std::span<const std::uint8_t, kProxyHeaderFixedSize>(header.data(), kProxyHeaderFixedSize));
}

TEST(ProxyHeader, FixedPartTellsHowMuchFollowsOrRefuses) {
    Bytes badSignature = Header(0x21, 0x11, kInetBlock);
    badSignature[5] = 'X';
    struct Row {
        const char* label;
        Bytes header;
        std::optional<std::size_t> remaining;
    };
    const Row rows[] = {
        {"proxy", Header(0x21, 0x11, kInetBlock), 12},
        {"local", Header(0x20, 0x00, {}), 0},
        {"signature", badSignature, std::nullopt},
        {"version 1", Header(0x11, 0x11, kInetBlock), std::nullopt},
        {"command 2", Header(0x22, 0x11, kInetBlock), std::nullopt},
        {"too long", Header(0x21, 0x11, Bytes(kProxyHeaderMaxSize - kProxyHeaderFixedSize + 1)), std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::optional<ProxyPrefix> prefix = Prefix(row.header);
        ASSERT_EQ(prefix.has_value(), row.remaining.has_value());
        if (prefix) {
            EXPECT_EQ(prefix->remaining, *row.remaining);
        }
    }
}

TEST(ProxyHeader, WholeHeaderGivesTheClientEndpoint) {
    Bytes withTlv = kInetBlock;
    withTlv.insert(withTlv.end(), {0x05, 0x00, 0x02, 'i', 'd'});
    Bytes inet6(36, 0);
    inet6[15] = 1;
    inet6[32] = 0x01;
    inet6[33] = 0x02;
    EXPECT_EQ(ParseProxyHeader(Header(0x21, 0x11, kInetBlock))->address().to_string(), "203.0.113.7");
    EXPECT_EQ(ParseProxyHeader(Header(0x21, 0x11, kInetBlock))->port(), 51234);
    EXPECT_EQ(ParseProxyHeader(Header(0x21, 0x11, withTlv))->port(), 51234);
    EXPECT_EQ(*ParseProxyHeader(Header(0x21, 0x21, inet6)),
              asio::ip::tcp::endpoint(asio::ip::make_address("::1"), 258));
    EXPECT_FALSE(ParseProxyHeader(Header(0x20, 0x00, {})).has_value());
    EXPECT_FALSE(ParseProxyHeader(Header(0x21, 0x00, {})).has_value());
    EXPECT_THROW(ParseProxyHeader(Header(0x21, 0x12, kInetBlock)), std::runtime_error);
    EXPECT_THROW(ParseProxyHeader(Header(0x21, 0x11, Bytes(kInetBlock.begin(), kInetBlock.end() - 1))),
                 std::runtime_error);
    EXPECT_THROW(ParseProxyHeader(Header(0x21, 0x21, kInetBlock)), std::runtime_error);
}

TEST(ProxySources, MatchesAddressesAndPrefixes) {
    const ProxySources sources = ProxySources::Parse("127.0.0.1,10.0.0.0/8,fd00::/16");
    struct Row {
        const char* address;
        bool contained;
    };
    const Row rows[] = {{"127.0.0.1", true},  {"127.0.0.2", false}, {"10.200.3.4", true}, {"11.0.0.1", false},
                        {"::ffff:10.1.1.1", true}, {"fd00::5", true}, {"fd01::5", false}, {"::1", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.address);
        EXPECT_EQ(sources.Contains(asio::ip::make_address(row.address)), row.contained);
    }
    for (const char* bad : {"", "127.0.0.1,", "localhost", "10.0.0.0/33", "10.0.0.0/", "10.0.0.0/8x"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(ProxySources::Parse(bad), std::invalid_argument);
    }
}

}  // namespace
}  // namespace ombrelta::server
