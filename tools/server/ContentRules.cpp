#include "tools/server/ContentRules.h"

#include <map>

#include "common/SafePath.h"
#include "tools/server/ContentName.h"

namespace ombrelta::server {
namespace {

// The first fault of a name the launcher would take wrongly, or null.
const char* NameFault(const std::string& name) {
    if (!IsValidUtf8(name))
        return "is not valid UTF-8";
    if (HasControlCharacter(name))
        return "holds a control character";
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

}  // namespace

void CheckGameFilePaths(const std::vector<std::string>& paths, ContentProblems& problems) {
    std::map<std::string, std::vector<std::string>> byFoldedPath;
    for (const std::string& path : paths) {
        const char* fault = NameFault(path);
        if (fault == nullptr && path.find('\\') != std::string::npos)
            fault = "holds a backslash, a folder separator to the launcher";
        if (fault != nullptr)
            problems.push_back("game file path " + EscapeForLog(path) + " " + fault);
        byFoldedPath[FoldAsciiCase(path)].push_back(path);
    }
    for (const auto& [folded, same] : byFoldedPath) {
        if (same.size() < 2)
            continue;
        std::string line = "game file paths equal without regard to case:";
        for (const std::string& path : same)
            line += " " + EscapeForLog(path);
        problems.push_back(line);
    }
}

void CheckPatchFileName(const std::string& name, ContentProblems& problems) {
    const char* fault = NameFault(name);
    if (fault == nullptr && name.find_first_of("/\\") != std::string::npos)
        fault = "is not a plain file name";
    if (fault != nullptr)
        problems.push_back("patch archive name " + EscapeForLog(name) + " " + fault);
}

}  // namespace ombrelta::server
