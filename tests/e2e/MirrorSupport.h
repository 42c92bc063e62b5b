#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/ContentBuilder.h"

namespace ombrelta::test {

/// A launcher server's content of 3 patches from version 0 and 3 game files (the first, by the
/// server's order, of 3 MiB), the tree a mirror serves of it, and a fresh installation at 0.
struct MirrorSite {
    /// Lays root/server, root/www (patches/NAME, md5/MD5) and root/install.
    explicit MirrorSite(const std::filesystem::path& root);

    /// The game file listed first, its mirror object, and the bytes of all patches.
    static constexpr const char* kBigFile = "big.bin";
    std::filesystem::path BigObject() const;
    std::uint64_t PatchBytes() const;
    /// Bytes a fresh installation receives: every archive and every game file.
    std::uint64_t InstalledBytes() const;
    /// Whether the installation holds exactly the newest version's files.
    void ExpectInstalled(const std::filesystem::path& install) const;

    std::filesystem::path root;
    std::vector<FileSpec> gameFiles;
    std::vector<FileSpec> patchFiles;  // what the patches install
};

/// A checker run to its end with its standard error.
struct CheckRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// Runs the checker (its command) in install, its standard error kept beside install.
CheckRun RunChecker(const std::vector<std::string>& checker, const std::filesystem::path& install);

/// A fresh installation root/name of the site with "Ombrel.dat" naming the server's port and
/// keys, checked once: "Ready." and exactly the newest files are expected.
CheckRun InstallAndCheck(const MirrorSite& site,
                         const std::string& name,
                         std::uint16_t serverPort,
                         const std::string& keys,
                         const std::vector<std::string>& checker);

/// How many lines of text contain part.
int LinesWith(const std::string& text, const std::string& part);

}  // namespace ombrelta::test
