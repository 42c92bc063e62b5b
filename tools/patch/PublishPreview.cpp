#include <system_error>

#include "tools/content/PathText.h"
#include "tools/content/ScratchDirectory.h"
#include "tools/patch/PatchMaker.h"
#include "tools/patch/PublishChecks.h"
#include "tools/patch/Publisher.h"
#include "tools/patch/TreeChanges.h"
#include "verify/SignedFileList.h"

namespace ombrelta::patchkit {
namespace {

namespace fs = std::filesystem;

// One line per file the update adds, changes or removes, then their counts. The signed list is
// no game change: publishing writes it anew.
std::vector<std::string> ChangeLines(const fs::path& oldTree, const fs::path& newTree) {
    const TreeChanges changes = CompareTrees(oldTree, newTree);
    std::vector<std::string> lines;
    std::size_t added = 0, changed = 0, removed = 0;
    for (const std::string& path : changes.changed) {
        if (path == kSignedFileListName)
            continue;
        const bool present = PathPresent(oldTree / PathFromUtf8(path));
        (present ? changed : added) += 1;
        lines.push_back((present ? "change " : "add ") + path);
    }
    for (const std::string& path : changes.removed) {
        if (path == kSignedFileListName)
            continue;
        removed += 1;
        lines.push_back("remove " + path);
    }
    lines.push_back(std::to_string(added) + " added, " + std::to_string(changed) + " changed, " +
                    std::to_string(removed) + " removed");
    return lines;
}

}  // namespace

std::vector<std::string> DescribePublish(const PublishRequest& request, PublishOutcome& outcome) {
    outcome.problems = PublishRefusals(request);
    if (!outcome.problems.empty())
        return {};
    const ScratchDirectory scratch;
    fs::path oldTree = request.root / "files";
    if (!PathPresent(oldTree)) {
        oldTree = scratch.Path() / "empty";
        fs::create_directories(oldTree);
    }
    std::vector<std::string> lines = ChangeLines(oldTree, request.newTree);
    const fs::path archive = scratch.Path() / PatchFileName(request.version);
    const PatchOutcome made = MakePatch({oldTree, request.newTree, request.version, archive, request.delta});
    outcome.problems = made.problems;
    outcome.warnings = made.warnings;
    if (!outcome.problems.empty())
        return {};
    std::string patch = "would publish " + PatchFileName(request.version) + " for version " +
                        std::to_string(request.version) + ": " + std::to_string(made.fileCount) + " files, " +
                        std::to_string(fs::file_size(archive)) + " bytes";
    lines.push_back(request.delta ? patch + "; " + DescribeDeltas(made.deltas) : patch);
    return lines;
}

}  // namespace ombrelta::patchkit
