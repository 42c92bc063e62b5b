#include "tools/patch/EntryNameRules.h"

#include <algorithm>
#include <map>

#include "common/AsciiCase.h"
#include "common/Text.h"
#include "patch/ArchiveExtractor.h"
#include "tools/server/ContentName.h"

namespace ombrelta::patchkit {
namespace {

using server::EscapeForLog;

// The first reason the launcher would not write this name as it stands, or null.
const char* NameFault(const std::string& name) {
    if (const char* fault = server::LauncherNameFault(name))
        return fault;
    if (name.find('\\') != std::string::npos)
        return "holds a backslash, a folder separator to the launcher";
    return nullptr;
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
        byFoldedName[LowerAsciiLetters(WithoutTrailingSlash(name))].push_back(name);
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
