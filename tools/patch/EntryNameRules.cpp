#include "tools/patch/EntryNameRules.h"

#include <algorithm>
#include <map>

#include "common/SafePath.h"
#include "common/Text.h"
#include "patch/ArchiveExtractor.h"
#include "tools/server/ContentName.h"

namespace ombrelta::patchkit {
namespace {

using server::EscapeForLog;
using server::HasControlCharacter;
using server::IsValidUtf8;

// The first reason the launcher would not write this name as it stands, or null.
const char* NameFault(const std::string& name) {
    if (!IsValidUtf8(name))
        return "is not valid UTF-8";
    if (HasControlCharacter(name))
        return "holds a control character";
    if (name.find('\\') != std::string::npos)
        return "holds a backslash, a folder separator to the launcher";
    if (!IsSafeEntryPath(name))
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

std::vector<std::string> CheckEntryNames(const std::vector<std::string>& names) {
    std::vector<std::string> problems;
    std::map<std::string, std::vector<std::string>> byFoldedName;
    for (const std::string& name : names) {
        if (const char* fault = NameFault(name))
            problems.push_back("entry name \"" + EscapeForLog(name) + "\" " + fault);
        byFoldedName[FoldAsciiCase(WithoutTrailingSlash(name))].push_back(name);
    }
    for (const auto& [folded, same] : byFoldedName) {
        if (same.size() < 2)
            continue;
        std::string line = "entry names equal without regard to case:";
        for (const std::string& name : same)
            line += " \"" + EscapeForLog(name) + "\"";
        problems.push_back(line);
    }
    return problems;
}

}  // namespace ombrelta::patchkit
