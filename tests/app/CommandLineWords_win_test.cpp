#include "app/CommandLineWords.h"

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include "common/Text.h"

namespace ombrelta {
namespace {

std::vector<std::wstring> SystemArguments(const std::wstring& commandLine) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(commandLine.c_str(), &count);
    std::vector<std::wstring> values;
    for (int i = 1; argv != nullptr && i < count; ++i)
        values.push_back(argv[i]);
    LocalFree(argv);
    return values;
}

// Every line of up to six characters made of the ones that matter, after a program name.
TEST(CommandLineArguments, AgreesWithCommandLineToArgvW) {
    const std::wstring alphabet = L"a\\\" ";
    std::vector<std::wstring> tails{L""};
    std::vector<std::wstring> level{L""};
    for (int length = 1; length <= 6; ++length) {
        std::vector<std::wstring> longer;
        for (const std::wstring& tail : level)
            for (wchar_t c : alphabet)
                longer.push_back(tail + c);
        tails.insert(tails.end(), longer.begin(), longer.end());
        level = std::move(longer);
    }
    std::size_t compared = 0;
    for (const std::wstring& tail : tails) {
        const std::wstring line = L"\"C:\\G\\x.exe\" " + tail;
        std::vector<std::wstring> ours;
        for (const CommandLineWord& word : CommandLineArguments(line))
            ours.push_back(word.value);
        ASSERT_EQ(ours, SystemArguments(line)) << WideToUtf8(line);
        ++compared;
    }
    EXPECT_GT(compared, 5000u);
}

}  // namespace
}  // namespace ombrelta
