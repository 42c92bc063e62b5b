#include "app/CommandLineWords.h"

namespace ombrelta {
namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

std::size_t ProgramNameEnd(std::wstring_view line) {
    if (!line.empty() && line[0] == L'"') {
        std::size_t close = line.find(L'"', 1);
        return close == std::wstring_view::npos ? line.size() : close + 1;
    }
    std::size_t blank = line.find_first_of(L" \t");
    return blank == std::wstring_view::npos ? line.size() : blank;
}

// Reads the argument that begins at i into value; returns where it ends. quotes is 1 inside a
// quoted part; quotes in a row count on from there, and the third makes a literal one.
std::size_t ReadArgument(std::wstring_view line, std::size_t i, std::wstring& value) {
    int quotes = 0;
    std::size_t backslashes = 0;
    for (; i < line.size() && (quotes != 0 || !IsBlank(line[i])); ++i) {
        if (line[i] != L'"') {
            backslashes = line[i] == L'\\' ? backslashes + 1 : 0;
            value += line[i];
            continue;
        }
        // Backslashes were copied as they came; before a quote only half of them stand.
        value.resize(value.size() - backslashes / 2 - backslashes % 2);
        if (backslashes % 2 == 1)
            value += L'"';
        else
            ++quotes;
        backslashes = 0;
        for (; i + 1 < line.size() && line[i + 1] == L'"'; ++i) {
            if (++quotes == 3) {
                value += L'"';
                quotes = 0;
            }
        }
        if (quotes == 2)
            quotes = 0;
    }
    return i;
}

}  // namespace

std::vector<CommandLineWord> CommandLineArguments(std::wstring_view commandLine) {
    std::vector<CommandLineWord> words;
    std::size_t i = ProgramNameEnd(commandLine);
    for (;;) {
        while (i < commandLine.size() && IsBlank(commandLine[i]))
            ++i;
        if (i == commandLine.size())
            return words;
        CommandLineWord word;
        const std::size_t start = i;
        i = ReadArgument(commandLine, i, word.value);
        word.written = commandLine.substr(start, i - start);
        words.push_back(std::move(word));
    }
}

}  // namespace ombrelta
