#include "tools/patch/EntryNameRules.h"

#include <cstdio>
#include <map>

#include "common/Text.h"
#include "patch/ArchiveExtractor.h"
#include "verify/SafeEntryPath.h"

namespace ombrelta::patchkit {
namespace {

bool IsValidUtf8(const std::string& name) {
    // Invalid bytes decode to U+FFFD, so the round trip no longer gives the same bytes.
    return WideToUtf8(Utf8ToWide(name)) == name;
}

bool HasControlCharacter(const std::string& name) {
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

// The first reason the launcher would not write this name as it stands, or null.
const char* NameFault(const std::string& name) {
    if (!IsValidUtf8(name))
        return "is not valid UTF-8";
    if (HasControlCharacter(name))
        return "holds a control character";
    if (name.find('\\') != std::string::npos)
        return "holds a backslash, a folder separator to the launcher";
    std::wstring decoded;
    // The patch extractor's own rule, and the stricter one of the file check that will later
    // look at the same files.
    if (!DecodeEntryName(name, decoded) || !IsSafeEntryPath(name))
        return "is refused by the launcher as an unsafe path";
    return nullptr;
}

std::string FoldAsciiCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string WithoutTrailingSlash(std::string name) {
    if (name.size() > 1 && name.back() == '/')
        name.pop_back();
    return name;
}

}  // namespace

std::string PrintableName(const std::string& name) {
    std::string text;
    for (unsigned char c : name) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text += static_cast<char>(c);
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
        text += escaped;
    }
    return text;
}

std::vector<std::string> CheckEntryNames(const std::vector<std::string>& names) {
    std::vector<std::string> problems;
    std::map<std::string, std::vector<std::string>> byFoldedName;
    for (const std::string& name : names) {
        if (const char* fault = NameFault(name))
            problems.push_back("entry name \"" + PrintableName(name) + "\" " + fault);
        byFoldedName[FoldAsciiCase(WithoutTrailingSlash(name))].push_back(name);
    }
    for (const auto& [folded, same] : byFoldedName) {
        if (same.size() < 2)
            continue;
        std::string line = "entry names equal without regard to case:";
        for (const std::string& name : same)
            line += " \"" + PrintableName(name) + "\"";
        problems.push_back(line);
    }
    return problems;
}

}  // namespace ombrelta::patchkit
