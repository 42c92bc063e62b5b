#include "common/Text.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

struct DecodeCase {
    const char* name;
    std::string utf8;
    std::wstring wide;
};

// Rows on which Windows' own decoder and ours agree byte for byte.
TEST(TextTest, Utf8ToWideDecodesAndReplacesInvalidBytes) {
    const std::vector<DecodeCase> cases = {
        {"empty", "", L""},
        {"ascii", "host=10.0.0.1", L"host=10.0.0.1"},
        {"two-byte", "\xC3\xA9t\xC3\xA9", L"\u00E9t\u00E9"},
        {"three-byte", "\xE2\x82\xAC", L"\u20AC"},
        {"embedded zero", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
        {"lone continuation", "\x80", {kReplacement}},
        {"truncated two-byte", "\xC3", {kReplacement}},
        {"two-byte cut by ascii", "\xC3(", {kReplacement, L'('}},
        {"truncated three-byte", "\xE2\x82", {kReplacement}},
        {"three-byte cut by ascii", "\xE2\x82(", {kReplacement, L'('}},
        {"three-byte cut early", "\xE2(\xA1", {kReplacement, L'(', kReplacement}},
        {"overlong two-byte", "\xC0\xAF", {kReplacement, kReplacement}},
        {"bytes never valid", "\xFF\xFE", {kReplacement, kReplacement}},
        {"lead past U+10FFFF", "\xF5\x80", {kReplacement, kReplacement}},
        {"truncated four-byte", "\xF0\x9F\x98", {kReplacement}},
    };
    for (const DecodeCase& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Utf8ToWide(row.utf8), row.wide);
    }
}

// Windows' decoder is the reference for these; Wine's differs, so only our own one is held to it.
TEST(TextTest, PortableDecoderReplacesEachMaximalSubpartOnce) {
    if (sizeof(wchar_t) == 2)
        GTEST_SKIP() << "decoded by the system";
    const std::vector<DecodeCase> cases = {
        {"overlong three-byte", "\xE0\x80", {kReplacement, kReplacement}},
        {"encoded surrogate", "\xED\xA0\x80", {kReplacement, kReplacement, kReplacement}},
        {"overlong four-byte", "\xF0\x80\x80\x80", std::wstring(4, kReplacement)},
        {"past U+10FFFF", "\xF4\x90\x80\x80", std::wstring(4, kReplacement)},
        {"four-byte cut by ascii", "\xF0\x9F(", {kReplacement, L'('}},
    };
    for (const DecodeCase& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Utf8ToWide(row.utf8), row.wide);
    }
}

TEST(TextTest, CharactersOutsideTheBasicPlaneSurviveTheRoundTrip) {
    const std::string smile = "a\xF0\x9F\x98\x80z";
    std::wstring wide = Utf8ToWide(smile);
    // One UTF-16 surrogate pair on Windows, one UTF-32 unit elsewhere.
    ASSERT_EQ(wide.size(), sizeof(wchar_t) == 2 ? 4u : 3u);
    EXPECT_EQ(wide.front(), L'a');
    EXPECT_EQ(wide.back(), L'z');
    EXPECT_EQ(WideToUtf8(wide), smile);
}

TEST(TextTest, WideToUtf8EncodesAndReplacesLoneSurrogates) {
    struct EncodeCase {
        const char* name;
        std::wstring wide;
        std::string utf8;
    };
    const std::vector<EncodeCase> cases = {
        {"empty", L"", ""},
        {"ascii", L"version.dat", "version.dat"},
        {"two-byte", L"\u00E9", "\xC3\xA9"},
        {"three-byte", L"\u20AC\uFFFD", "\xE2\x82\xAC\xEF\xBF\xBD"},
        {"lone high surrogate",
         {L'a', static_cast<wchar_t>(0xD800), L'b'},
         "a\xEF\xBF\xBD"
         "b"},
        {"lone low surrogate", {static_cast<wchar_t>(0xDC00)}, "\xEF\xBF\xBD"},
    };
    for (const EncodeCase& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(WideToUtf8(row.wide), row.utf8);
    }
}

TEST(TextTest, EveryValidCodePointOfTheBasicPlaneRoundTrips) {
    std::wstring all;
    for (wchar_t c = 1; c < 0xD800; ++c)
        all += c;
    for (wchar_t c = 0xE000; c < 0xFFFF; ++c)
        all += c;
    EXPECT_EQ(Utf8ToWide(WideToUtf8(all)), all);
}

}  // namespace
}  // namespace ombrelta
