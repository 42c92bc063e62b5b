#include "common/Base64.h"

#include <algorithm>

namespace ombrelta {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(char letter) {
    const std::size_t at = kAlphabet.find(letter);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

}  // namespace

std::string EncodeBase64(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - at);
        std::uint32_t group = static_cast<std::uint32_t>(bytes[at]) << 16;
        if (count > 1)
            group |= static_cast<std::uint32_t>(bytes[at + 1]) << 8;
        if (count > 2)
            group |= bytes[at + 2];
        for (std::size_t sextet = 0; sextet < 4; ++sextet)
            text += sextet <= count ? kAlphabet[(group >> (18 - 6 * sextet)) & 0x3F] : '=';
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t at = 0; at < text.size(); at += 4) {
        const bool last = at + 4 == text.size();
        const std::size_t padding = last && text[at + 3] == '=' ? (text[at + 2] == '=' ? 2 : 1) : 0;
        std::uint32_t group = 0;
        for (std::size_t sextet = 0; sextet < 4; ++sextet) {
            const int value = sextet >= 4 - padding ? 0 : SextetOf(text[at + sextet]);
            if (value < 0)
                return std::nullopt;
            group = group << 6 | static_cast<std::uint32_t>(value);
        }
        if (padding == 1 && (group & 0xFF) != 0)
            return std::nullopt;
        if (padding == 2 && (group & 0xFFFF) != 0)
            return std::nullopt;
        for (std::size_t byte = 0; byte < 3 - padding; ++byte)
            bytes.push_back(static_cast<std::uint8_t>(group >> (16 - 8 * byte)));
    }
    return bytes;
}

}  // namespace ombrelta
