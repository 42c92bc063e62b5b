#include "common/AsciiCase.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(AsciiCaseTest, EqualsIgnoringAsciiCasePairsOnlyTheLettersAToZ) {
    struct Row {
        std::wstring_view a;
        std::wstring_view b;
        bool equal;
    };
    const Row rows[] = {
        {L"abcXYZ09_", L"ABCxyz09_", true},
        {L"", L"", true},
        {L"abc", L"abcd", false},
        {L"abc", L"abd", false},
        // Neighbours of the letters: a bit trick instead of a range check would merge them.
        {L"@[", L"`{", false},
        {L"\u00e9", L"\u00c9", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.a.begin(), row.a.end()) + " / " +
                     std::string(row.b.begin(), row.b.end()));
        EXPECT_EQ(EqualsIgnoringAsciiCase(row.a, row.b), row.equal);
        EXPECT_EQ(EqualsIgnoringAsciiCase(row.b, row.a), row.equal);
    }
    EXPECT_TRUE(EqualsIgnoringAsciiCase(std::string_view("d41D8CD9"), std::string_view("D41d8cd9")));
    EXPECT_TRUE(EqualsIgnoringAsciiCase(std::wstring_view(L"Con"), std::string_view("CON")));
}

TEST(AsciiCaseTest, LowerAsciiLettersLeavesEveryOtherByte) {
    EXPECT_EQ(LowerAsciiLetters("HOST=Ab@[`{Z \xC3\x89"), "host=ab@[`{z \xC3\x89");
}

}  // namespace
}  // namespace ombrelta
