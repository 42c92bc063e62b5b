#include "tools/server/ContentRules.h"

#include <map>

#include "common/AsciiCase.h"
#include "tools/server/ContentName.h"

namespace ombrelta::server {

void CheckGameFilePaths(const std::vector<std::string>& paths, ContentProblems& problems) {
    std::map<std::string, std::vector<std::string>> byFoldedPath;
    for (const std::string& path : paths) {
        const char* fault = LauncherNameFault(path);
        if (fault == nullptr && path.find('\\') != std::string::npos)
            fault = "holds a backslash, a folder separator to the launcher";
        if (fault != nullptr)
            problems.push_back("game file path " + EscapeForLog(path) + " " + fault);
        byFoldedPath[LowerAsciiLetters(path)].push_back(path);
    }
    for (const auto& [folded, same] : byFoldedPath) {
        if (same.size() < 2)
            continue;
        std::string line = "game file paths equal without regard to case:";
        for (const std::string& path : same) {
            line += ' ';
            line += EscapeForLog(path);
        }
        problems.push_back(line);
    }
}

void CheckPatchFileName(const std::string& name, ContentProblems& problems) {
    const char* fault = LauncherNameFault(name);
    if (fault == nullptr && name.find_first_of("/\\") != std::string::npos)
        fault = "is not a plain file name";
    if (fault != nullptr)
        problems.push_back("patch archive name " + EscapeForLog(name) + " " + fault);
}

}  // namespace ombrelta::server
