#include "tools/patch/PublishChecks.h"

#include <algorithm>
#include <system_error>

#include "tools/content/ContentName.h"
#include "tools/content/PathText.h"
#include "tools/patch/FileListSigner.h"
#include "tools/patch/TreeSwap.h"
#include "verify/SignedFileList.h"

namespace ombrelta::patchkit {
namespace {

namespace fs = std::filesystem;

bool IsFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// True when inner is outer or lies below it, both as they really are (links resolved).
bool Within(const fs::path& inner, const fs::path& outer) {
    std::error_code error;
    const fs::path a = fs::weakly_canonical(inner, error);
    const fs::path b = fs::weakly_canonical(outer, error);
    const auto mismatch = std::mismatch(b.begin(), b.end(), a.begin(), a.end());
    return mismatch.first == b.end();
}

void RootRefusals(const PublishRequest& request, std::vector<std::string>& problems) {
    const fs::path& root = request.root;
    std::error_code error;
    if (!IsFolder(root))
        problems.push_back("content root is not a folder: " + ShownPath(root));
    else if (!PathPresent(root / "patches") && !PathPresent(root / "files") && !fs::is_empty(root, error))
        problems.push_back(ShownPath(root) +
                           " holds neither patches/ nor files/: not a content root (an empty "
                           "folder starts one)");
    else if (PathPresent(root / ".publish" / kPublishMarker))
        problems.push_back("a publication was cut short while it moved the trees (" +
                           ShownPath(root / ".publish" / kPublishMarker) +
                           " names the new tree): check the root with ombrelta-server --check, put files/ "
                           "and files.previous/ right, then delete " +
                           ShownPath(root / ".publish"));
}

void TreeRefusals(const PublishRequest& request, std::vector<std::string>& problems) {
    const fs::path& tree = request.newTree;
    if (!IsFolder(tree))
        problems.push_back("new tree is not a folder: " + ShownPath(tree));
    else if (Within(tree, request.root / "files") || Within(request.root, tree))
        problems.push_back("new tree " + ShownPath(tree) +
                           " is, or lies inside, the served files, or holds the root: "
                           "give a copy beside them");
    else if (IsFolder(request.root) && !OnOneFileSystem(tree, request.root))
        problems.push_back("new tree " + ShownPath(tree) + " lies on another file system than " +
                           ShownPath(request.root) + ": it is renamed into place, so make it there");
}

void VersionRefusals(const PublishRequest& request, std::vector<std::string>& problems) {
    const std::optional<std::uint16_t> newest = NewestPatchVersion(request.root / "patches");
    if (newest && request.version != *newest + 1)
        problems.push_back("version " + std::to_string(request.version) +
                           " does not follow the newest patch's " + std::to_string(*newest) +
                           ": publish version " + std::to_string(*newest + 1));
    if (PathPresent(request.root / "patches" / PatchFileName(request.version)))
        problems.push_back(ShownPath(request.root / "patches" / PatchFileName(request.version)) +
                           " exists already");
}

void SigningRefusals(const PublishRequest& request, std::vector<std::string>& problems) {
    if (!request.signKey && PathPresent(request.root / "files" / kSignedFileListName))
        problems.push_back("the served files are signed (files/" + std::string(kSignedFileListName) +
                           "): give --sign-key, or launchers with a publickey refuse the new ones");
    if (!request.signKey && PathPresent(request.newTree / kSignedFileListName))
        problems.push_back("new tree holds an " + std::string(kSignedFileListName) +
                           ", which would no longer match: give --sign-key, or delete it");
    if (request.reloadPidFile && !PathPresent(*request.reloadPidFile))
        problems.push_back("no such pid file: " + ShownPath(*request.reloadPidFile));
}

}  // namespace

bool PathPresent(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

std::string ShownPath(const fs::path& path) {
    return EscapeForLog(PathToUtf8(path));
}

std::string PatchFileName(std::uint16_t version) {
    return "patch" + std::to_string(version) + ".zip";
}

std::vector<std::string> PublishRefusals(const PublishRequest& request) {
    std::vector<std::string> problems;
    RootRefusals(request, problems);
    TreeRefusals(request, problems);
    if (problems.empty())
        VersionRefusals(request, problems);
    SigningRefusals(request, problems);
    return problems;
}

}  // namespace ombrelta::patchkit
