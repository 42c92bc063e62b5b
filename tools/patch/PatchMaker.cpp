#include "tools/patch/PatchMaker.h"

#include <cstdio>
#include <optional>
#include <system_error>

#include "patch/DeltaHeader.h"
#include "tools/content/ContentName.h"
#include "tools/content/ContentRules.h"
#include "tools/content/PatchArchiveCheck.h"
#include "tools/content/PathText.h"
#include "tools/patch/DeflatedSize.h"
#include "tools/patch/DeltaEncoder.h"
#include "tools/patch/TreeChanges.h"
#include "tools/patch/ZipWriter.h"

namespace ombrelta::patchkit {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kHighestVersion = 65535;

// Written beside the archive and renamed over it at the end, so that a failed run never leaves
// a half-written patch where a server would pick it up.
fs::path PartialPath(const fs::path& archive) {
    fs::path partial = archive;
    partial += ".partial";
    return partial;
}

// A delta only pays when it saves at least half of what the whole file costs in the archive.
bool AddAsDelta(ZipWriter& writer, const PatchRequest& request, const std::string& file, DeltaSummary& summary) {
    const fs::path base = request.oldTree / PathFromUtf8(file);
    const fs::path result = request.newTree / PathFromUtf8(file);
    if (!fs::is_regular_file(base))
        return false;
    DeltaProgress progress;
    if (request.deltaProgress) {
        progress = [&request, &file, size = fs::file_size(result)](std::uint64_t done) {
            request.deltaProgress(file, done, size);
        };
    }
    const std::optional<std::vector<std::uint8_t>> delta = MakeDelta(base, result, progress);
    if (!delta)
        return false;
    const std::uint64_t whole = DeflatedSize(result, delta->size() * 2);
    if (delta->size() * 2 >= whole)
        return false;
    writer.AddStored(file + std::string(kDeltaSuffix), *delta, fs::last_write_time(result));
    summary.wholeArchiveBytes += whole;
    summary.wholeArchiveBytes -= delta->size();
    return true;
}

void WriteArchive(const PatchRequest& request, const TreeChanges& changes, const fs::path& target,
                  DeltaSummary& summary) {
    ZipWriter writer(target);
    for (const std::string& file : changes.changed) {
        if (request.delta && AddAsDelta(writer, request, file, summary)) {
            ++summary.deltaFiles;
            continue;
        }
        writer.AddFile(file, request.newTree / PathFromUtf8(file));
        ++summary.wholeFiles;
    }
    writer.AddText("version.dat", std::to_string(request.version) + "\r\n");
    writer.Close();
}

void WriteAndPublish(const PatchRequest& request, const TreeChanges& changes, PatchOutcome& outcome) {
    const fs::path partial = PartialPath(request.archive);
    DeltaSummary summary;
    try {
        WriteArchive(request, changes, partial, summary);
        summary.archiveBytes = fs::file_size(partial);
        if (summary.archiveBytes >= kArchiveSizeLimit) {
            outcome.problems.push_back("the archive would be 4 GiB or larger");
            fs::remove(partial);
            return;
        }
        fs::rename(partial, request.archive);
    } catch (...) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw;
    }
    outcome.fileCount = changes.changed.size();
    // Deltas are counted with the size of the whole entries they stand for.
    summary.wholeArchiveBytes += summary.archiveBytes;
    outcome.deltas = summary;
}

}  // namespace

PatchOutcome MakePatch(const PatchRequest& request) {
    PatchOutcome outcome;
    if (request.version < 1 || request.version > kHighestVersion) {
        outcome.problems.push_back("version " + std::to_string(request.version) + " is not between 1 and 65535");
        return outcome;
    }
    const TreeChanges changes = CompareTrees(request.oldTree, request.newTree);
    for (const std::string& file : changes.removed)
        outcome.warnings.push_back("removed file \"" + EscapeForLog(file) + "\" stays on players' disks");
    std::vector<std::string> names = changes.changed;
    names.push_back("version.dat");
    CheckEntryNames(names, outcome.problems);
    if (outcome.problems.empty())
        WriteAndPublish(request, changes, outcome);
    return outcome;
}

std::string DescribeDeltas(const DeltaSummary& summary) {
    const double percent = summary.wholeArchiveBytes == 0
                               ? 100.0
                               : 100.0 * static_cast<double>(summary.archiveBytes) /
                                     static_cast<double>(summary.wholeArchiveBytes);
    char text[200];
    std::snprintf(text, sizeof text,
                  "deltas: %zu of %zu files as deltas; %llu bytes, %.1f%% of the %llu bytes without deltas",
                  summary.deltaFiles, summary.deltaFiles + summary.wholeFiles,
                  static_cast<unsigned long long>(summary.archiveBytes), percent,
                  static_cast<unsigned long long>(summary.wholeArchiveBytes));
    return text;
}

}  // namespace ombrelta::patchkit
