#include "tools/content/ContentRules.h"

#include <map>
#include <string_view>
#include <utility>

#include "common/AsciiCase.h"
#include "tools/content/ContentName.h"

namespace ombrelta {
namespace {

// How the problems of one kind of name read: "game file path X ..." or "entry name "X" ...".
struct NameWording {
    std::string_view one;
    std::string_view many;
    bool quoted = false;
};

std::string Shown(const std::string& name, const NameWording& wording) {
    std::string shown = EscapeForLog(name);
    if (wording.quoted)
        shown = '"' + std::move(shown) + '"';
    return shown;
}

std::string WithoutTrailingSlash(std::string name) {
    if (name.size() > 1 && name.back() == '/')
        name.pop_back();
    return name;
}

void CheckNames(const std::vector<std::string>& names, const NameWording& wording, ContentProblems& problems) {
    std::map<std::string, std::vector<std::string>> byFoldedName;
    for (const std::string& name : names) {
        const char* fault = LauncherNameFault(name);
        if (fault == nullptr && name.find('\\') != std::string::npos)
            fault = "holds a backslash, a folder separator to the launcher";
        if (fault != nullptr)
            problems.push_back(std::string(wording.one) + " " + Shown(name, wording) + " " + fault);
        byFoldedName[LowerAsciiLetters(WithoutTrailingSlash(name))].push_back(name);
    }
    for (const auto& [folded, same] : byFoldedName) {
        if (same.size() < 2)
            continue;
        std::string line = std::string(wording.many) + " equal without regard to case:";
        for (const std::string& name : same) {
            line += ' ';
            line += Shown(name, wording);
        }
        problems.push_back(line);
    }
}

}  // namespace

void CheckGameFilePaths(const std::vector<std::string>& paths, ContentProblems& problems) {
    CheckNames(paths, {.one = "game file path", .many = "game file paths"}, problems);
}

void CheckEntryNames(const std::vector<std::string>& names, ContentProblems& problems) {
    CheckNames(names, {.one = "entry name", .many = "entry names", .quoted = true}, problems);
}

void CheckPatchFileName(const std::string& name, ContentProblems& problems) {
    const char* fault = LauncherNameFault(name);
    if (fault == nullptr && name.find_first_of("/\\") != std::string::npos)
        fault = "is not a plain file name";
    if (fault != nullptr)
        problems.push_back("patch archive name " + EscapeForLog(name) + " " + fault);
}

}  // namespace ombrelta
