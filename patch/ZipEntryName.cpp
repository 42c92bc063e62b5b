#include "patch/ZipEntryName.h"

#include <algorithm>
#include <vector>

#include "common/AsciiCase.h"
#include "common/Path.h"
#include "common/SafePath.h"
#include "common/Text.h"
#include "patch/DeltaHeader.h"
#include "patch/ZipReader.h"

namespace ombrelta {
namespace {

constexpr std::wstring_view kVersionFileName = L"version.dat";

// Code page 437 from 0x80 to 0xFF; the lower half is ASCII.
constexpr char16_t kCp437HighHalf[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

std::wstring Cp437ToWide(std::string_view stored) {
    std::wstring wide;
    wide.reserve(stored.size());
    for (char c : stored) {
        const auto byte = static_cast<unsigned char>(c);
        wide += byte < 0x80 ? static_cast<wchar_t>(byte) : static_cast<wchar_t>(kCp437HighHalf[byte - 0x80]);
    }
    return wide;
}

std::wstring DecodeStoredName(std::string_view stored, bool flaggedUtf8) {
    std::wstring wide = Utf8ToWide(stored);
    // Valid UTF-8, and only that, comes back unchanged from the round trip; the test relies on
    // the same decoder as the conversion, so both agree on every platform.
    if (flaggedUtf8 || WideToUtf8(wide) == stored)
        return wide;
    return Cp437ToWide(stored);
}

// The pieces between separators, empty ones included.
std::vector<std::wstring_view> Elements(std::wstring_view name) {
    std::vector<std::wstring_view> elements;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsSeparator(name[i]))
            continue;
        elements.push_back(name.substr(start, i - start));
        start = i + 1;
    }
    return elements;
}

}  // namespace

bool DecodeEntryName(std::string_view stored, bool flaggedUtf8, std::wstring& name) {
    if (stored.empty())
        return false;
    // The file system would cut the path at a NUL, so the checked name would not be the one used.
    if (stored.find('\0') != std::string::npos)
        return false;
    name = DecodeStoredName(stored, flaggedUtf8);
    if (name.empty())
        return false;
    std::replace(name.begin(), name.end(), L'/', L'\\');
    return IsSafeEntryPath(name);
}

bool SafeEntryName(const ZipReader& reader, std::uint32_t i, std::wstring& name) {
    std::string stored;
    return reader.EntryName(i, stored) && DecodeEntryName(stored, reader.HasUtf8Name(i), name);
}

// Every spelling that Windows resolves to the same root file counts: any letter case, "." and
// empty elements around it, and the trailing dots and spaces Windows drops from a name.
bool NamesRootFile(const std::wstring& name, std::wstring_view fileName) {
    std::wstring_view element;
    for (std::wstring_view piece : Elements(name)) {
        if (piece.empty() || piece == L".")
            continue;
        if (!element.empty())
            return false;
        element = piece;
    }
    while (!element.empty() && (element.back() == L'.' || element.back() == L' '))
        element.remove_suffix(1);
    return EqualsIgnoringAsciiCase(element, fileName);
}

bool IsRootVersionFile(const std::wstring& name) {
    return NamesRootFile(name, kVersionFileName);
}

DeltaBase DeltaBaseName(const std::wstring& name) {
    if (!name.ends_with(kDeltaSuffixWide))
        return {};
    std::wstring base = name.substr(0, name.size() - kDeltaSuffixWide.size());
    // The root "version.dat" is written last, never from a delta.
    if (base.empty() || IsSeparator(base.back()) || !IsSafeEntryPath(base) || IsRootVersionFile(base))
        return {.kind = DeltaBaseKind::Unusable, .file = {}};
    return {.kind = DeltaBaseKind::File, .file = std::move(base)};
}

}  // namespace ombrelta
