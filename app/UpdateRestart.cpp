#include "app/UpdateRestart.h"

#include <vector>

namespace ombrelta {
namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

// The program name has no escapes: it ends at the closing quote, or unquoted at the first blank.
std::size_t ProgramNameEnd(std::wstring_view line) {
    if (!line.empty() && line[0] == L'"') {
        std::size_t close = line.find(L'"', 1);
        return close == std::wstring_view::npos ? line.size() : close + 1;
    }
    std::size_t blank = line.find_first_of(L" \t");
    return blank == std::wstring_view::npos ? line.size() : blank;
}

// The arguments as written, quotes kept: each ends at a blank outside double quotes.
std::vector<std::wstring_view> ArgumentWords(std::wstring_view line) {
    std::vector<std::wstring_view> words;
    std::size_t i = ProgramNameEnd(line);
    while (i < line.size()) {
        if (IsBlank(line[i])) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        bool quoted = false;
        for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
            if (line[i] == L'\\' && i + 1 < line.size() && line[i + 1] == L'"')
                ++i;
            else if (line[i] == L'"')
                quoted = !quoted;
        }
        words.push_back(line.substr(start, i - start));
    }
    return words;
}

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
std::optional<std::uint32_t> ProcessIdAt(const std::vector<std::wstring_view>& words, std::size_t i) {
    if (words[i] != kAfterUpdateArgument || i + 1 >= words.size())
        return std::nullopt;
    return ParseProcessId(words[i + 1]);
}

}  // namespace

std::optional<std::uint32_t> AfterUpdateProcessId(std::wstring_view commandLine) {
    const std::vector<std::wstring_view> words = ArgumentWords(commandLine);
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
    const std::vector<std::wstring_view> words = ArgumentWords(commandLine);
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (ProcessIdAt(words, i)) {
            ++i;
            continue;
        }
        line += L' ';
        line += words[i];
    }
    return line + L" " + kAfterUpdateArgument + L" " + std::to_wstring(processId);
}

}  // namespace ombrelta
