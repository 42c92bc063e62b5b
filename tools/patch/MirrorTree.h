#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ombrelta::patchkit {

/// One object of a mirror tree: "patches/NAME", "md5/MD5" or "blocks/MD5", and its size.
struct MirrorObject {
    std::string path;
    std::uint64_t bytes = 0;
    bool linked = false;    // added as a hard link to the content file, not as a copy
    bool replaced = false;  // added in place of an object holding other bytes
};

/// What laying out a mirror tree did.
struct MirrorOutcome {
    /// Faults of the content itself (as the server would refuse it), or a root that holds neither
    /// patches/ nor files/; nothing is written then.
    std::vector<std::string> problems;
    std::vector<MirrorObject> added;  // new objects and objects whose bytes were wrong
    std::vector<MirrorObject> kept;
    std::vector<MirrorObject> pruned;
};

/// Lays out the tree a web server serves to launchers, from content a launcher server serves
/// from root: out/patches/NAME for every patch on offer (PatchCatalog) and out/md5/MD5 (lower-case
/// hex) for every game file (FileCatalog), and out/blocks/MD5, its block map, for every game file
/// of at least 4 MiB. Each file object is a hard link to the content file where
/// the file system allows one, a copy otherwise; either is made under out/.staging and renamed
/// into place, so a web server never serves half an object. An object already holding the right
/// bytes is kept, one holding other bytes is replaced. With prune, objects in out/patches,
/// out/md5 and out/blocks that nothing on offer names are deleted; otherwise nothing is. Throws
/// std::runtime_error, naming the object, when one cannot be written or the content changed
/// while it was laid out; the objects placed until then are complete.
MirrorOutcome LayOutMirror(const std::filesystem::path& root, const std::filesystem::path& out, bool prune);

/// "mirror OUT: added N objects (B bytes), kept N (B bytes), pruned N (B bytes)".
std::string DescribeMirror(const std::filesystem::path& out, const MirrorOutcome& outcome);

}  // namespace ombrelta::patchkit
