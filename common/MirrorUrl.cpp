#include "common/MirrorUrl.h"

#include <utility>

#include "common/AsciiCase.h"

namespace ombrelta {
namespace {

constexpr std::string_view kSchemes[] = {"http://", "https://"};

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::size_t SchemeLength(std::string_view url) {
    for (std::string_view scheme : kSchemes) {
        if (url.size() >= scheme.size() && EqualsIgnoringAsciiCase(url.substr(0, scheme.size()), scheme))
            return scheme.size();
    }
    return 0;
}

// A base URL a path can be appended to, or empty.
std::string UsableBase(std::string_view url) {
    const std::size_t schemeLength = SchemeLength(url);
    if (schemeLength == 0)
        return {};
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '?' || c == '#')
            return {};
    }
    const std::string_view rest = url.substr(schemeLength);
    const std::string_view authority = rest.substr(0, rest.find('/'));
    if (authority.empty() || authority.find('@') != std::string_view::npos)
        return {};
    while (url.back() == '/')
        url.remove_suffix(1);
    return std::string(url);
}

}  // namespace

std::vector<std::string> ParseMirrorBases(std::string_view value) {
    std::vector<std::string> bases;
    if (value.empty())
        return bases;
    for (;;) {
        const std::size_t comma = value.find(',');
        std::string base = UsableBase(value.substr(0, comma));
        if (base.empty() || bases.size() == kMaxMirrors)
            return {};
        bases.push_back(std::move(base));
        if (comma == std::string_view::npos)
            return bases;
        value.remove_prefix(comma + 1);
    }
}

std::string PercentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsUnreserved(byte)) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

std::string PatchObjectUrl(std::string_view base, std::string_view fileName) {
    return std::string(base) + "/patches/" + PercentEncode(fileName);
}

namespace {

std::string ObjectByDigest(std::string_view base, std::string_view folder, std::string_view md5) {
    if (md5.size() != 32)
        return {};
    std::string lower;
    for (const char c : md5) {
        if (!IsHexDigit(c))
            return {};
        lower += (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return std::string(base) + "/" + std::string(folder) + "/" + lower;
}

}  // namespace

std::string FileObjectUrl(std::string_view base, std::string_view md5) {
    return ObjectByDigest(base, "md5", md5);
}

std::string BlockMapUrl(std::string_view base, std::string_view md5) {
    return ObjectByDigest(base, "blocks", md5);
}

std::string MirrorHost(std::string_view base) {
    const std::string_view rest = base.substr(SchemeLength(base));
    return std::string(rest.substr(0, rest.find('/')));
}

}  // namespace ombrelta
