#include "common/Text.h"

#include <cstdint>

namespace ombrelta {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Bounds of the first continuation byte after each lead byte; the later ones are always 80..BF.
// Narrowing the second byte is what rules out overlong forms, surrogates and values past
// U+10FFFF, so a bad sequence is cut at the first byte that cannot belong to it.
struct LeadInfo {
    int continuations;
    unsigned char secondLow;
    unsigned char secondHigh;
};

LeadInfo ClassifyLead(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return {1, 0x80, 0xBF};
    if (lead == 0xE0)
        return {2, 0xA0, 0xBF};
    if (lead == 0xED)
        return {2, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF)
        return {2, 0x80, 0xBF};
    if (lead == 0xF0)
        return {3, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3)
        return {3, 0x80, 0xBF};
    if (lead == 0xF4)
        return {3, 0x80, 0x8F};
    return {0, 0, 0};
}

// Decodes one sequence at text[pos]; advances pos past the maximal subpart it consumed.
char32_t DecodeOne(std::string_view text, std::size_t& pos) {
    unsigned char lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80)
        return lead;
    LeadInfo info = ClassifyLead(lead);
    if (info.continuations == 0)
        return kReplacement;
    char32_t value = lead & (0x3F >> info.continuations);
    for (int k = 0; k < info.continuations; ++k) {
        if (pos >= text.size())
            return kReplacement;
        unsigned char c = static_cast<unsigned char>(text[pos]);
        unsigned char low = k == 0 ? info.secondLow : 0x80;
        unsigned char high = k == 0 ? info.secondHigh : 0xBF;
        if (c < low || c > high)
            return kReplacement;
        value = (value << 6) | (c & 0x3F);
        ++pos;
    }
    return value;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::wstring Utf8ToWide(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size())
        wide += static_cast<wchar_t>(DecodeOne(text, pos));
    return wide;
}

std::string WideToUtf8(std::wstring_view text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (wchar_t w : text) {
        auto c = static_cast<std::uint32_t>(w);
        bool isSurrogate = c >= 0xD800 && c <= 0xDFFF;
        AppendUtf8(narrow, isSurrogate || c > 0x10FFFF ? kReplacement : static_cast<char32_t>(c));
    }
    return narrow;
}

}  // namespace ombrelta
