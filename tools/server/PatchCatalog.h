#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace ombrelta::server {

/// One patch archive on offer.
struct PatchArchive {
    std::uint16_t version = 0;   // from the archive's own "version.dat"
    std::string fileName;        // plain UTF-8 name, at most 255 bytes
    std::uint32_t size = 0;      // bytes, as found at start
    std::filesystem::path file;  // where the bytes are read from at request time
};

/// The patch archives of a directory, keyed by the version each one brings.
class PatchCatalog {
public:
    /// Reads every "*.zip" of dir (none when dir does not exist). Throws std::runtime_error,
    /// naming the archive, when one has no readable "version.dat" holding a version above 0,
    /// when two bring the same version, or when one is too large or too long-named for the
    /// protocol.
    static PatchCatalog Load(const std::filesystem::path& dir);

    /// The patch with the smallest version above version, or null when none follows.
    const PatchArchive* NextAfter(std::uint16_t version) const;
    /// The patch that brings exactly version, or null.
    const PatchArchive* Find(std::uint16_t version) const;
    std::size_t Count() const { return patches_.size(); }

private:
    std::map<std::uint16_t, PatchArchive> patches_;
};

}  // namespace ombrelta::server
