#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ombrelta::server {

/// One game file of the hash list; its id is its index in the list.
struct GameFile {
    std::string path;            // relative, '/' separators, UTF-8
    std::string md5;             // 32 lower-case hex digits
    std::uint32_t size = 0;      // bytes, as found at start
    std::filesystem::path file;  // where the bytes are read from at request time
};

/// The game files below a directory and the hash list answer that describes them.
class FileCatalog {
public:
    /// Walks dir (an empty list when it does not exist), hashes every regular file and builds
    /// the answer once. Files are ordered by the bytes of their relative paths. Throws
    /// std::runtime_error when a file cannot be read or when the list cannot travel in one
    /// answer: more than 255 files, a path over 255 bytes, a file over 4294967295 bytes, or
    /// more than 65533 bytes in all.
    static FileCatalog Load(const std::filesystem::path& dir);

    /// The file with that id, or null.
    const GameFile* Find(std::uint16_t id) const;
    std::size_t Count() const { return files_.size(); }
    /// The ready-made hash list answer payload.
    const std::vector<std::uint8_t>& HashListPayload() const { return hashList_; }

private:
    std::vector<GameFile> files_;
    std::vector<std::uint8_t> hashList_;
};

/// Lower-case hex MD5 of a whole file. Throws std::runtime_error when it cannot be read.
std::string FileMd5Hex(const std::filesystem::path& file);

}  // namespace ombrelta::server
