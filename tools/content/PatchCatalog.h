#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "tools/content/ContentTree.h"
#include "tools/content/LoadStamp.h"

namespace ombrelta {

/// One patch archive on offer.
struct PatchArchive {
    std::uint16_t version = 0;  // from the archive's own "version.dat"
    std::string fileName;       // plain UTF-8 name, at most 255 bytes
    std::uint32_t size = 0;     // bytes of the handle at start
    File handle;                // opened once at start; every chunk is read from it
    LoadStamp loaded;           // the handle's stamp before its size and version were read
};

/// The patch archives of a directory, keyed by the version each one brings.
class PatchCatalog {
public:
    /// Opens every "*.zip" of dir once (none when dir does not exist), following links. Adds a
    /// line to problems, naming the archive, when one has no readable "version.dat" holding a
    /// version above 0, when two bring the same version, when one is too large for the
    /// protocol, when its name is not one the launcher takes (ContentRules) or over 255 bytes,
    /// and for a dangling link.
    static PatchCatalog Load(const std::filesystem::path& dir, ContentProblems& problems);

    /// The patch with the smallest version above version, or null when none follows.
    const PatchArchive* NextAfter(std::uint16_t version) const;
    /// The patch that brings exactly version, or null.
    const PatchArchive* Find(std::uint16_t version) const;
    /// The highest version on offer, or 0 when there is no patch.
    std::uint16_t NewestVersion() const { return patches.empty() ? 0 : patches.rbegin()->first; }
    std::size_t Count() const { return patches.size(); }
    /// One line for each name of the folder that is not taken as a patch, with the reason
    /// (patches/"NAME" is ignored: not a .zip file), sorted.
    const std::vector<std::string>& Ignored() const { return ignored; }

private:
    std::map<std::uint16_t, PatchArchive> patches;
    std::vector<std::string> ignored;
};

}  // namespace ombrelta
