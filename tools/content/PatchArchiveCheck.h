#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ombrelta {

/// Size from which a patch archive can no longer be announced: the protocol carries 32 bits.
inline constexpr std::uint64_t kArchiveSizeLimit = std::uint64_t{1} << 32;

/// What a patch archive holds, read with the launcher's own zip reader and name rules.
struct ArchiveInspection {
    /// One line per fault; empty when the launcher would apply the archive cleanly.
    std::vector<std::string> problems;
    /// The number the launcher finds in "version.dat" after extracting it, when the archive has
    /// a root "version.dat" (read as the launcher reads it; 0 when it holds no number).
    std::optional<std::uint16_t> version;
};

/// Checks an archive as the launcher will use it: it must be a readable zip below 4 GiB, every
/// entry name must be one the launcher accepts (see CheckEntryNames), every file entry must
/// inflate with a matching size and CRC-32, every delta entry ("PATH.ombrelta-delta") must name a
/// file a delta may rewrite and start with a valid header, and exactly one root "version.dat"
/// must hold a version above 0. With oldTree, every delta must also apply to its file there and
/// give the result its header names. Never throws for a bad archive; throws std::runtime_error
/// only when no temporary folder can be made.
ArchiveInspection InspectPatchArchive(const std::filesystem::path& archive,
                                      const std::optional<std::filesystem::path>& oldTree = std::nullopt);

/// The files the delta entries of an archive rewrite, UTF-8 with '/' separators, in archive order;
/// empty when it cannot be read or holds no usable delta entry.
std::vector<std::string> DeltaEntryFiles(const std::filesystem::path& archive);

/// InspectPatchArchive, plus a problem when the archive's version is not expected.
std::vector<std::string> VerifyPatchArchive(const std::filesystem::path& archive, std::uint16_t expected,
                                            const std::optional<std::filesystem::path>& oldTree = std::nullopt);

}  // namespace ombrelta
