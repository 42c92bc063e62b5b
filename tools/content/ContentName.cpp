#include "tools/content/ContentName.h"

#include <cstdint>

#include "common/SafePath.h"

namespace ombrelta {
namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// Length of the well-formed UTF-8 sequence at the start of text, or 0 when it is not one.
std::size_t SequenceLength(std::string_view text) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || lead == 0xC0 || lead == 0xC1 || text.size() < length)
        return 0;
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
    while (!text.empty()) {
        std::size_t length = SequenceLength(text);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

bool HasControlCharacter(std::string_view text) {
    for (char c : text) {
        if (IsControl(static_cast<unsigned char>(c)))
            return true;
    }
    return false;
}

std::string EscapeForLog(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    while (!text.empty()) {
        auto c = static_cast<unsigned char>(text.front());
        std::size_t length = SequenceLength(text);
        if (length == 0 || IsControl(c) || c == '\\') {
            escaped += {'\\', 'x', kHex[c >> 4], kHex[c & 0x0F]};
            length = 1;
        } else {
            escaped.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return escaped;
}

const char* LauncherNameFault(std::string_view name) {
    if (!IsValidUtf8(name))
        return "is not valid UTF-8";
    if (HasControlCharacter(name))
        return "holds a control character";
    if (!IsSafeEntryPath(name))
        return "is refused by the launcher as an unsafe path";
    return nullptr;
}

}  // namespace ombrelta
