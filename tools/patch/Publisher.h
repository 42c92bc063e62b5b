#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ombrelta::patchkit {

/// One update to publish into a server's content root.
struct PublishRequest {
    std::filesystem::path root;     // holds patches/ and files/, as the server serves them
    std::filesystem::path newTree;  // the game as it is to be from now on
    std::uint16_t version = 0;
    bool delta = false;
    std::optional<std::filesystem::path> signKey;
    std::optional<std::filesystem::path> mirror;
    std::optional<std::filesystem::path> reloadPidFile;
    std::optional<std::string> reloadCommand;
};

/// The steps of a publication, in order.
/// Swapped: the new tree is served as files/; Placed: the patch is in patches/ too.
enum class PublishStep { Made, Verified, Signed, Swapped, Placed, Checked, Mirrored, Reloaded };

/// Hears each step once it is done, with a line saying what it did.
using PublishReport = std::function<void(PublishStep step, const std::string& line)>;

/// What a publication came to.
struct PublishOutcome {
    /// Why nothing was published; root is then as it was. Empty when the update is published.
    std::vector<std::string> problems;
    /// The content check's warnings, and things the patch cannot do (remove a file).
    std::vector<std::string> warnings;
};

/// Publishes newTree as version: makes "patchN.zip" from root/files to newTree (deltas when
/// asked), verifies it against root/files, signs it and newTree's file list when a key is given,
/// then exchanges newTree with root/files in one rename (the tree it replaces becomes
/// root/files.previous, replacing the one before) and puts the patch into root/patches. Then
/// checks the content as "ombrelta-server --check" does (with the key's public half when
/// signing): a fault puts the previous tree and its neighbours back and refuses. Last, lays out
/// the mirror tree and asks the server to reload. Refuses, touching nothing, a request that
/// would publish a mistake: a root that is none, a version that does not follow the newest
/// patch, a patch name taken, newTree on another file system or inside root, no key where the
/// files were signed before. Work files live in root/.publish. Throws std::runtime_error when
/// a file cannot be read or written (before the exchange, root is then as it was), or when the
/// mirror or the reload fails after the content was published (the message says so).
PublishOutcome Publish(const PublishRequest& request, const PublishReport& report);

/// What Publish would change, as lines: files added, changed and removed, the patch's size and
/// what its deltas save; the patch is made in a scratch folder and nothing else is touched.
/// Refusals as Publish's, in outcome.problems (no lines then).
std::vector<std::string> DescribePublish(const PublishRequest& request, PublishOutcome& outcome);

}  // namespace ombrelta::patchkit
