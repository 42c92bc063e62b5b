#include "app/UpdateRestart.h"

#include <vector>

#include "app/CommandLineWords.h"

namespace ombrelta {
namespace {

std::optional<std::uint32_t> ParseProcessId(std::wstring_view word) {
    if (word.empty() || word.size() > 10)
        return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : word) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    if (value == 0 || value > UINT32_MAX)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// The id when words[i] and the word after it form "--after-update PID".
std::optional<std::uint32_t> ProcessIdAt(const std::vector<CommandLineWord>& words, std::size_t i) {
    if (words[i].value != kAfterUpdateArgument || i + 1 >= words.size())
        return std::nullopt;
    return ParseProcessId(words[i + 1].value);
}

}  // namespace

std::optional<std::uint32_t> AfterUpdateProcessId(std::wstring_view commandLine) {
    const std::vector<CommandLineWord> words = CommandLineArguments(commandLine);
    std::optional<std::uint32_t> found;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (std::optional<std::uint32_t> id = ProcessIdAt(words, i))
            found = id;
    }
    return found;
}

std::wstring RestartCommandLine(std::wstring_view programPath,
                                std::wstring_view commandLine,
                                std::uint32_t processId) {
    std::wstring line = L"\"" + std::wstring(programPath) + L"\"";
    const std::vector<CommandLineWord> words = CommandLineArguments(commandLine);
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (ProcessIdAt(words, i)) {
            ++i;
            continue;
        }
        line += L' ';
        line += words[i].written;
    }
    return line + L" " + kAfterUpdateArgument + L" " + std::to_wstring(processId);
}

}  // namespace ombrelta
