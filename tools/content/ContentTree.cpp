#include "tools/content/ContentTree.h"

#include <algorithm>
#include <system_error>

#include "tools/content/ContentName.h"
#include "tools/content/PathText.h"

namespace ombrelta {
namespace {

namespace fs = std::filesystem;

struct Walk {
    std::vector<TreeFile>& files;
    ContentProblems& problems;
    std::vector<fs::path> ancestors;  // canonical folders from the top down to the current one
};

void WalkFolder(const fs::path& dir, const std::string& prefix, Walk& walk);

void VisitFolder(const fs::path& path, const std::string& shown, Walk& walk) {
    std::error_code error;
    fs::path real = fs::canonical(path, error);
    if (error) {
        walk.problems.push_back("cannot resolve folder " + EscapeForLog(shown) + ": " + error.message());
        return;
    }
    // Only a folder that contains itself loops; two links to one folder just list it twice.
    if (std::find(walk.ancestors.begin(), walk.ancestors.end(), real) != walk.ancestors.end()) {
        walk.problems.push_back("link loop: " + EscapeForLog(shown) + " leads back to a folder above it");
        return;
    }
    walk.ancestors.push_back(real);
    WalkFolder(path, shown + "/", walk);
    walk.ancestors.pop_back();
}

void VisitEntry(const fs::directory_entry& entry, const std::string& prefix, Walk& walk) {
    std::string shown = prefix + PathToUtf8(entry.path().filename());
    std::optional<fs::file_status> status = FollowedStatus(entry, shown, walk.problems);
    if (!status)
        return;
    if (fs::is_directory(*status)) {
        VisitFolder(entry.path(), shown, walk);
        return;
    }
    if (!fs::is_regular_file(*status))
        return;
    std::error_code error;
    std::uintmax_t size = fs::file_size(entry.path(), error);
    if (error) {
        walk.problems.push_back("cannot read the size of " + EscapeForLog(shown) + ": " + error.message());
        return;
    }
    walk.files.push_back(TreeFile{.path = shown, .file = entry.path(), .size = size});
}

void WalkFolder(const fs::path& dir, const std::string& prefix, Walk& walk) {
    std::error_code error;
    fs::directory_iterator it(dir, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error))
        VisitEntry(*it, prefix, walk);
    if (error)
        walk.problems.push_back("cannot list folder " + EscapeForLog(PathToUtf8(dir)) + ": " +
                                error.message());
}

}  // namespace

std::optional<fs::file_status> FollowedStatus(const fs::directory_entry& entry,
                                              const std::string& shownPath,
                                              ContentProblems& problems) {
    std::error_code error;
    fs::file_status status = fs::status(entry.path(), error);
    if (!error && fs::exists(status))
        return status;
    if (error == std::errc::too_many_symbolic_link_levels)
        problems.push_back("link loop: " + EscapeForLog(shownPath));
    else if (entry.is_symlink(error))
        problems.push_back("dangling link: " + EscapeForLog(shownPath));
    else
        problems.push_back("cannot examine " + EscapeForLog(shownPath) + ": " + error.message());
    return std::nullopt;
}

bool FolderPresent(const fs::path& dir, const std::string& shownPath, ContentProblems& problems) {
    std::error_code error;
    if (fs::exists(dir, error))
        return true;
    if (fs::is_symlink(dir, error))
        problems.push_back("dangling link: " + EscapeForLog(shownPath));
    return false;
}

std::vector<TreeFile> ListTree(const fs::path& dir, ContentProblems& problems) {
    std::vector<TreeFile> files;
    std::error_code error;
    Walk walk{.files = files, .problems = problems, .ancestors = {fs::canonical(dir, error)}};
    WalkFolder(dir, "", walk);
    std::sort(files.begin(), files.end(),
              [](const TreeFile& a, const TreeFile& b) { return a.path < b.path; });
    return files;
}

}  // namespace ombrelta
