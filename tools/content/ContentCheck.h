#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "common/PublicKeySet.h"
#include "tools/content/ContentTree.h"
#include "tools/content/FileCatalog.h"
#include "tools/content/PatchCatalog.h"

namespace ombrelta {

/// What the deep content check found.
struct ContentVerdict {
    /// Faults: content a launcher would fail on (or, with a public key, refuse).
    ContentProblems problems;
    /// Doubts that never fail a check: the server cannot know its launchers' settings.
    ContentProblems warnings;
    /// "N patches and M game files" when the content loaded; empty otherwise.
    std::string description;
};

/// The deep check of content loaded from root (root/patches, root/files): every patch read as
/// the launcher will use it, one chain of versions, and with publicKey every signature as a
/// launcher with it checks them; signature and delta doubts as warnings.
ContentVerdict AuditContent(const PatchCatalog& patches,
                            const FileCatalog& files,
                            const std::filesystem::path& root,
                            const std::optional<PublicKeySet>& publicKey);

/// Loads root as the server does at start, then AuditContent. A root that is not a folder, or
/// content the server would refuse, gives the load's faults as problems and no audit.
ContentVerdict CheckContent(const std::filesystem::path& root, const std::optional<PublicKeySet>& publicKey);

/// Why root cannot be a content root: it is not a folder, or holds neither patches/ nor files/
/// (a root one folder off, which would otherwise look like empty content). Nothing when it can.
std::optional<std::string> ContentRootFault(const std::filesystem::path& root);

/// "N patches and M game files", for logs and reports.
std::string DescribeContent(const PatchCatalog& patches, const FileCatalog& files);

}  // namespace ombrelta
