#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/BlockMap.h"
#include "common/FileSystem.h"

namespace ombrelta {

/// What one reading of a file learnt: its MD5 text (empty when it could not be read) and its
/// stamp taken before the reading began, so that a change made meanwhile leaves a later stamp.
struct HashedFile {
    std::string md5;
    std::optional<FileStamp> stampBefore;
    /// The digest of each block of the block map (BlockMap.h), from the same reading, when they
    /// were asked for and the file was read whole; empty otherwise.
    std::vector<BlockDigest> blocks;
};

/// MD5 of a file as 32 lower-case hex digits, read in one pass of 8192-byte blocks; empty text
/// when the file is missing, a directory or cannot be opened or hashed. A read error part way
/// gives the digest of the bytes read before it.
std::string ComputeFileMd5(const std::wstring& path);

/// Stamps the file, then computes its MD5 as ComputeFileMd5 does, with its block digests in the
/// same pass when withBlocks. Never fails.
HashedFile HashFile(const std::wstring& path, bool withBlocks = false);

/// HashFile that asks stop() between blocks and gives up, returning nothing, once it says true.
std::optional<HashedFile> HashFileUntil(const std::wstring& path,
                                        bool withBlocks,
                                        const std::function<bool()>& stop);

/// ComputeFileMd5 that asks stop() between blocks and gives up, returning nothing, once it says
/// true. Lets a thread hashing ahead drop work nobody needs any more.
std::optional<std::string> ComputeFileMd5Until(const std::wstring& path, const std::function<bool()>& stop);

/// SHA-256 of a file as 64 lower-case hex digits, read as ComputeFileMd5 reads; empty text when
/// the file is missing, a directory or cannot be opened or hashed.
std::string ComputeFileSha256(const std::wstring& path);

/// A file's MD5 and SHA-256 texts, as ComputeFileMd5 and ComputeFileSha256 give them.
struct FileDigests {
    std::string md5;
    std::string sha256;
};

/// Both digests from one reading of the file; both texts empty when it cannot be read or hashed.
FileDigests ComputeFileDigests(const std::wstring& path);

/// True when two MD5 texts are equal, ASCII letter case aside; texts of other lengths differ.
bool SameMd5Text(std::string_view a, std::string_view b);

}  // namespace ombrelta
