#include "tools/patch/Publisher.h"

#include <fstream>
#include <stdexcept>
#include <system_error>

#include "common/PublicKeySet.h"
#include "tools/content/ContentCheck.h"
#include "tools/content/ContentName.h"
#include "tools/content/PatchArchiveCheck.h"
#include "tools/content/PathText.h"
#include "tools/content/ScratchDirectory.h"
#include "tools/patch/FileListSigner.h"
#include "tools/patch/FileLock.h"
#include "tools/patch/MirrorTree.h"
#include "tools/patch/PatchMaker.h"
#include "tools/patch/PatchSigner.h"
#include "tools/patch/PublishChecks.h"
#include "tools/patch/ServerReload.h"
#include "tools/patch/TreeChanges.h"
#include "tools/patch/TreeSwap.h"
#include "verify/SignedFileList.h"

namespace ombrelta::patchkit {
namespace {

namespace fs = std::filesystem;

// One publication: its work folder inside the root, so that every rename stays on one file system.
class Publication {
public:
    Publication(const PublishRequest& request, const PublishReport& report)
        : request(request),
          report(report),
          files(request.root / "files"),
          previous(request.root / "files.previous"),
          work(request.root / ".publish"),
          placed(request.root / "patches" / PatchFileName(request.version)) {}

    PublishOutcome Run() {
        outcome.problems = PublishRefusals(request);
        if (!outcome.problems.empty())
            return outcome;
        const FileLock lock(request.root);
        if (!lock.Locked()) {
            outcome.problems.push_back("another publication into " + ShownPath(request.root) + " is running");
            return outcome;
        }
        if (request.signKey)
            signer.emplace(P256Signer::Load(*request.signKey));
        try {
            if (!Prepare())
                return Discard();
        } catch (...) {
            Discard();
            throw;
        }
        SwapIn();
        bool good = false;
        try {
            good = Check();
        } catch (...) {
            SwapBack();
            Discard();
            throw;
        }
        if (!good) {
            SwapBack();
            return Discard();
        }
        fs::remove_all(work);
        Finish();
        return outcome;
    }

private:
    // The list this run signed into the new tree goes too: it names a version not published.
    PublishOutcome Discard() {
        std::error_code ignored;
        fs::remove_all(work, ignored);
        if (signer)
            fs::remove(request.newTree / kSignedFileListName, ignored);
        return outcome;
    }

    fs::path OldTree() {
        if (PathPresent(files))
            return files;
        fs::create_directories(work / "empty");
        return work / "empty";
    }

    // Everything before the swap: the root is only read meanwhile.
    bool Prepare() {
        fs::remove_all(work);
        fs::create_directories(work);
        const fs::path oldTree = OldTree();
        const fs::path archive = work / PatchFileName(request.version);
        if (signer)
            fs::remove(request.newTree / kSignedFileListName);
        const PatchOutcome made =
            MakePatch({oldTree, request.newTree, request.version, archive, request.delta});
        outcome.warnings.insert(outcome.warnings.end(), made.warnings.begin(), made.warnings.end());
        if (!Take(made.problems))
            return false;
        report(PublishStep::Made, MadeLine(made, fs::file_size(archive)));
        if (!Take(VerifyPatchArchive(archive, request.version, oldTree)))
            return false;
        report(PublishStep::Verified, PatchFileName(request.version) + ": good for version " +
                                          std::to_string(request.version) + " against " + ShownPath(oldTree));
        return !signer || Sign(archive);
    }

    bool Sign(const fs::path& archive) {
        if (!Take(SignPatch(archive, *signer, request.version).problems))
            return false;
        const FileSigningOutcome list = SignGameFiles(request.newTree, *signer, request.version);
        if (!Take(list.problems))
            return false;
        report(PublishStep::Signed, PatchFileName(request.version) + " and " +
                                        std::to_string(list.fileCount) + " game files signed for version " +
                                        std::to_string(request.version));
        return true;
    }

    std::string MadeLine(const PatchOutcome& made, std::uintmax_t bytes) const {
        std::string line = "made " + PatchFileName(request.version) + ": " + std::to_string(made.fileCount) +
                           " files, " + std::to_string(bytes) + " bytes";
        return request.delta ? line + "; " + DescribeDeltas(made.deltas) : line;
    }

    bool Take(const std::vector<std::string>& problems) {
        outcome.problems.insert(outcome.problems.end(), problems.begin(), problems.end());
        return problems.empty();
    }

    // The new tree takes the place of the served one in one exchange; the patch follows, so no
    // moment offers a patch whose files are not yet served. The marker stays if this is cut short.
    void SwapIn() {
        std::ofstream(work / kPublishMarker) << PathToUtf8(request.newTree) << '\n';
        if (PathPresent(previous))
            fs::rename(previous, work / "previous");
        if (PathPresent(files)) {
            ExchangePaths(request.newTree, files);
            fs::rename(request.newTree, previous);
        } else {
            fs::rename(request.newTree, files);
        }
        report(PublishStep::Swapped,
               ShownPath(files) + " now holds the new tree; the one it replaced is " + ShownPath(previous));
        fs::create_directories(placed.parent_path());
        fs::rename(work / PatchFileName(request.version), placed);
        fs::remove(work / kPublishMarker);
        report(PublishStep::Placed, "patch in place: " + ShownPath(placed));
    }

    void SwapBack() {
        fs::rename(placed, work / PatchFileName(request.version));
        if (PathPresent(previous)) {
            ExchangePaths(files, previous);
            fs::rename(previous, request.newTree);
        } else {
            fs::rename(files, request.newTree);
        }
        if (PathPresent(work / "previous"))
            fs::rename(work / "previous", previous);
    }

    bool Check() {
        std::optional<PublicKeySet> key;
        if (signer)
            key.emplace(signer->PublicKey());
        const ContentVerdict verdict = CheckContent(request.root, key);
        outcome.warnings.insert(outcome.warnings.end(), verdict.warnings.begin(), verdict.warnings.end());
        if (!Take(verdict.problems))
            return false;
        report(PublishStep::Checked, "content good: " + verdict.description);
        return true;
    }

    std::string LayOutMirrorTree(const fs::path& mirror) const {
        const MirrorOutcome laidOut = LayOutMirror(request.root, mirror, false);
        if (!laidOut.problems.empty())
            throw std::runtime_error(laidOut.problems.front());
        return DescribeMirror(mirror, laidOut);
    }

    // After the content is in place: a failure here leaves it published, and says what is left.
    void Finish() {
        const std::string published = "version " + std::to_string(request.version) + " is published in " +
                                      ShownPath(request.root) + ", but ";
        try {
            if (request.mirror)
                report(PublishStep::Mirrored, LayOutMirrorTree(*request.mirror));
        } catch (const std::exception& e) {
            throw std::runtime_error(
                published + "the mirror failed (" + e.what() +
                "): lay it out again with ombrelta-patch mirror, then reload the server");
        }
        try {
            if (request.reloadPidFile)
                ReloadByPidFile(*request.reloadPidFile);
            else if (request.reloadCommand)
                ReloadByCommand(*request.reloadCommand);
            else
                return;
        } catch (const std::exception& e) {
            throw std::runtime_error(published + "the server was not reloaded: " + e.what());
        }
        report(PublishStep::Reloaded, "server asked to reload");
    }

    const PublishRequest& request;
    const PublishReport& report;
    const fs::path files;
    const fs::path previous;
    const fs::path work;
    const fs::path placed;
    std::optional<P256Signer> signer;
    PublishOutcome outcome;
};

}  // namespace

PublishOutcome Publish(const PublishRequest& request, const PublishReport& report) {
    return Publication(request, report).Run();
}

}  // namespace ombrelta::patchkit
