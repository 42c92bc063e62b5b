#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "tools/content/ContentTree.h"
#include "tools/content/LoadStamp.h"

namespace ombrelta {

/// One game file of the hash list; its id is its index in the list.
struct GameFile {
    std::string path;        // relative, '/' separators, UTF-8
    std::string md5;         // 32 lower-case hex digits, of the bytes the handle reads
    std::uint32_t size = 0;  // bytes hashed at start
    File handle;             // opened once at start; every chunk is read from it
    LoadStamp loaded;        // the handle's stamp before it was hashed
    std::vector<std::uint8_t>
        blockMap;  // its block map (BlockMap.h), made in the same pass; empty below 4 MiB
};

/// The game files below a directory and the hash list answer that describes them.
class FileCatalog {
public:
    /// Walks dir (an empty list when it does not exist), opens and hashes every file and builds
    /// the answer once. Files are ordered by the bytes of their relative paths. Adds a line to
    /// problems for every path the launcher would refuse (ContentRules), every file that cannot
    /// be read, and when the list cannot travel in one answer: more than 255 files, a path over
    /// 255 bytes, a file over 4294967295 bytes, or more than 65533 bytes in all. Files are
    /// hashed only when the names and sizes are fine.
    static FileCatalog Load(const std::filesystem::path& dir, ContentProblems& problems);

    /// The file with that id, or null.
    const GameFile* Find(std::uint16_t id) const;
    std::size_t Count() const { return files.size(); }
    /// The ready-made hash list answer payload.
    const std::vector<std::uint8_t>& HashListPayload() const { return hashList; }

private:
    std::vector<GameFile> files;
    std::vector<std::uint8_t> hashList;
};

}  // namespace ombrelta
