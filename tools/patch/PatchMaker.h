#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace ombrelta::patchkit {

/// What to put into a patch: the files that differ between two trees, for one version.
struct PatchRequest {
    std::filesystem::path oldTree;
    std::filesystem::path newTree;
    std::int64_t version = 0;
    std::filesystem::path archive;
    /// Ship a changed file as a delta entry where that pays (see MakePatch).
    bool delta = false;
    /// Told, while a delta is made, the file's path, the bytes of it done so far and its size.
    std::function<void(const std::string& file, std::uint64_t done, std::uint64_t size)> deltaProgress = nullptr;
};

/// How a patch made with deltas came out.
struct DeltaSummary {
    std::size_t wholeFiles = 0;
    std::size_t deltaFiles = 0;
    /// Size of the archive written.
    std::uint64_t archiveBytes = 0;
    /// Size the archive would have without deltas (each delta counted as its file's whole entry).
    std::uint64_t wholeArchiveBytes = 0;
};

/// What making a patch came to.
struct PatchOutcome {
    /// Reasons the patch was refused; nothing was written when there is any.
    std::vector<std::string> problems;
    /// Things the patch cannot do, such as removing a file; it was written all the same.
    std::vector<std::string> warnings;
    /// Files written into the archive, "version.dat" not counted.
    std::size_t fileCount = 0;
    /// Filled when the request asked for deltas.
    DeltaSummary deltas;
};

/// Writes a deflated zip holding every file added or changed from oldTree to newTree and, last,
/// a root "version.dat" holding version. Refuses a version outside 1..65535, any name the
/// launcher would refuse or take for another (CheckEntryNames) and an archive of 4 GiB or more.
/// With request.delta, a changed file that exists in oldTree goes in as "PATH.ombrelta-delta"
/// (stored, MakeDelta) when its delta is smaller than half of its whole deflated entry (estimated
/// from its start once that is sure, see DeflatedSize); files above kDeltaSizeLimit ship whole. The archive appears only once complete. Throws std::runtime_error (or filesystem_error) when
/// a tree cannot be read or the archive cannot be written; no partial archive is left then.
PatchOutcome MakePatch(const PatchRequest& request);

/// "deltas: D of N files as deltas; B bytes, P% of the W bytes without deltas".
std::string DescribeDeltas(const DeltaSummary& summary);

}  // namespace ombrelta::patchkit
