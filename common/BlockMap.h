#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "common/DigestHasher.h"

namespace ombrelta {

/// Bytes of every block of a block map but the last, which holds the rest of the file.
inline constexpr std::uint32_t kMapBlockSize = 1u << 20;
/// Files this large or larger have a block map; smaller ones are always repaired whole.
inline constexpr std::uint64_t kBlockMapMinFileSize = 4ull << 20;
/// Largest file a map describes: offsets of chunk requests are 32-bit.
inline constexpr std::uint64_t kBlockMapMaxFileSize = 0xFFFFFFFFull;
/// Bytes of a map's fixed header.
inline constexpr std::size_t kBlockMapHeaderSize = 44;
/// Bytes of the largest map (a file of kBlockMapMaxFileSize bytes).
inline constexpr std::size_t kMaxBlockMapBytes = kBlockMapHeaderSize + 16 * 4096;

/// The digest of one block: xxHash's XXH3 128-bit hash in its canonical (big-endian) bytes. It
/// only tells which blocks differ, and costs a fraction of an MD5; the assembled file is checked
/// whole by its MD5.
using BlockDigest = std::array<std::uint8_t, 16>;

/// A game file's size, MD5 and the digest of each of its kMapBlockSize blocks, in file order.
struct BlockMap {
    std::uint64_t fileSize = 0;
    Md5Digest fileMd5{};
    std::vector<BlockDigest> blocks;
};

/// Whether a file of this size has a block map.
bool HasBlockMap(std::uint64_t fileSize);
/// Number of blocks of a file of this size: the size divided by kMapBlockSize, rounded up.
std::size_t BlockCount(std::uint64_t fileSize);

/// The map's bytes: magic "OMBBLOCK", format version 2, file size, file MD5, block size, block
/// count, then 16 bytes per block. The caller gives a map that ParseBlockMap would accept.
std::vector<std::uint8_t> WriteBlockMap(const BlockMap& map);

/// The map those bytes hold; nothing unless they are exactly one map of format version 2 with
/// the block size kMapBlockSize, a file size from kBlockMapMinFileSize to kBlockMapMaxFileSize and
/// exactly BlockCount(size) digests. Never throws for bad bytes.
std::optional<BlockMap> ParseBlockMap(std::span<const std::uint8_t> bytes);

/// The digest of bytes held in memory (one block or less).
BlockDigest BlockDigestOf(std::span<const std::uint8_t> bytes);

/// The digest of each kMapBlockSize block of bytes fed in order, alongside any other digest of
/// the same pass.
class BlockDigester {
public:
    /// Nothing when memory for the hash state cannot be had.
    static std::optional<BlockDigester> Create();

    /// Adds the next bytes; false when the digester is spent.
    [[nodiscard]] bool Update(const std::uint8_t* data, std::size_t size);
    /// The digest of every block, the last one possibly short; nothing once spent. Spent after.
    std::optional<std::vector<BlockDigest>> Finish();

private:
    struct State;
    struct StateDeleter {
        void operator()(State* state) const;
    };

    explicit BlockDigester(std::unique_ptr<State, StateDeleter> state) : state(std::move(state)) {}
    void CloseBlock();

    std::unique_ptr<State, StateDeleter> state;
    std::uint32_t inBlock = 0;
    std::vector<BlockDigest> done;
};

}  // namespace ombrelta
