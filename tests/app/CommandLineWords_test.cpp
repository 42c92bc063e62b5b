#include "app/CommandLineWords.h"

#include <gtest/gtest.h>

#include "common/Text.h"

namespace ombrelta {
namespace {

std::vector<std::wstring> Values(std::wstring_view commandLine) {
    std::vector<std::wstring> values;
    for (const CommandLineWord& word : CommandLineArguments(commandLine))
        values.push_back(word.value);
    return values;
}

TEST(CommandLineArguments, ReadsBackslashesAndQuotesAsWindowsDoes) {
    struct Row {
        const wchar_t* commandLine;
        std::vector<std::wstring> values;
    };
    const Row rows[] = {
        {L"x.exe", {}},
        {L"\"C:\\A B\\x.exe\"  a\tb ", {L"a", L"b"}},
        {L"\"C:\\A B\"c d", {L"c", L"d"}},
        {L"x.exe C:\\a\\b c\\\\d", {L"C:\\a\\b", L"c\\\\d"}},
        {L"x.exe \"C:\\My Dir\\\\\" --after-update 123", {L"C:\\My Dir\\", L"--after-update", L"123"}},
        {L"x.exe \"a\\\" b\" c", {L"a\" b", L"c"}},
        {L"x.exe a\\\\\\\"b c", {L"a\\\"b", L"c"}},
        {L"x.exe a\\\\\\\\\"b c\" d", {L"a\\\\b c", L"d"}},
        {L"x.exe a\"b c\"d e", {L"ab cd", L"e"}},
        {L"x.exe \"\" \"", {L"", L""}},
        {L"x.exe \"a\"\"b\" c", {L"a\"b c"}},
        {L"x.exe a\"\"\"b c", {L"a\"b", L"c"}},
        {L"x.exe \"open to the end", {L"open to the end"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.commandLine));
        EXPECT_EQ(Values(row.commandLine), row.values);
    }
}

TEST(CommandLineArguments, KeepsEachArgumentAsWritten) {
    const std::vector<CommandLineWord> words = CommandLineArguments(L"x.exe \"a b\\\\\"  c\\\"d ");
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].written, L"\"a b\\\\\"");
    EXPECT_EQ(words[1].written, L"c\\\"d");
}

}  // namespace
}  // namespace ombrelta
