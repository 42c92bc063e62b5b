#include "common/BlockMap.h"

#include <algorithm>
#include <cstring>

#include "common/LittleEndian.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace ombrelta {
namespace {

constexpr char kMagic[8] = {'O', 'M', 'B', 'B', 'L', 'O', 'C', 'K'};
constexpr std::uint32_t kFormatVersion = 2;

void AppendDigest(std::vector<std::uint8_t>& out, std::span<const std::uint8_t, 16> digest) {
    out.insert(out.end(), digest.begin(), digest.end());
}

BlockDigest DigestAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    BlockDigest digest{};
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), digest.size(), digest.begin());
    return digest;
}

BlockDigest Canonical(XXH128_hash_t hash) {
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, hash);
    BlockDigest digest{};
    std::memcpy(digest.data(), canonical.digest, digest.size());
    return digest;
}

}  // namespace

bool HasBlockMap(std::uint64_t fileSize) {
    return fileSize >= kBlockMapMinFileSize && fileSize <= kBlockMapMaxFileSize;
}

std::size_t BlockCount(std::uint64_t fileSize) {
    return static_cast<std::size_t>((fileSize + kMapBlockSize - 1) / kMapBlockSize);
}

std::vector<std::uint8_t> WriteBlockMap(const BlockMap& map) {
    std::vector<std::uint8_t> out(kMagic, kMagic + sizeof(kMagic));
    out.reserve(kBlockMapHeaderSize + 16 * map.blocks.size());
    AppendLittleEndian(out, kFormatVersion);
    AppendLittleEndian(out, map.fileSize);
    AppendDigest(out, map.fileMd5);
    AppendLittleEndian(out, kMapBlockSize);
    AppendLittleEndian(out, static_cast<std::uint32_t>(map.blocks.size()));
    for (const BlockDigest& block : map.blocks)
        AppendDigest(out, block);
    return out;
}

// The header is read only once its length is known to be there, and the digests only once the
// count they announce has been matched against the size, so no field is read out of bounds.
std::optional<BlockMap> ParseBlockMap(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kBlockMapHeaderSize || bytes.size() > kMaxBlockMapBytes)
        return std::nullopt;
    if (std::memcmp(bytes.data(), kMagic, sizeof(kMagic)) != 0 ||
        LoadLittleEndian<std::uint32_t>(bytes, 8) != kFormatVersion)
        return std::nullopt;
    BlockMap map;
    map.fileSize = LoadLittleEndian<std::uint64_t>(bytes, 12);
    map.fileMd5 = DigestAt(bytes, 20);
    const std::uint32_t blockSize = LoadLittleEndian<std::uint32_t>(bytes, 36);
    const std::uint32_t count = LoadLittleEndian<std::uint32_t>(bytes, 40);
    if (blockSize != kMapBlockSize || !HasBlockMap(map.fileSize) || count != BlockCount(map.fileSize) ||
        bytes.size() != kBlockMapHeaderSize + 16 * static_cast<std::size_t>(count))
        return std::nullopt;
    map.blocks.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        map.blocks.push_back(DigestAt(bytes, kBlockMapHeaderSize + 16 * i));
    return map;
}

struct BlockDigester::State {
    XXH3_state_t* hash = XXH3_createState();

    ~State() { XXH3_freeState(hash); }
};

void BlockDigester::StateDeleter::operator()(State* state) const {
    delete state;
}

BlockDigest BlockDigestOf(std::span<const std::uint8_t> bytes) {
    return Canonical(XXH3_128bits(bytes.data(), bytes.size()));
}

std::optional<BlockDigester> BlockDigester::Create() {
    std::unique_ptr<State, StateDeleter> state(new State);
    if (!state->hash || XXH3_128bits_reset(state->hash) != XXH_OK)
        return std::nullopt;
    return BlockDigester(std::move(state));
}

void BlockDigester::CloseBlock() {
    done.push_back(Canonical(XXH3_128bits_digest(state->hash)));
    (void)XXH3_128bits_reset(state->hash);
    inBlock = 0;
}

bool BlockDigester::Update(const std::uint8_t* data, std::size_t size) {
    if (!state)
        return false;
    while (size > 0) {
        const std::size_t take = std::min<std::size_t>(size, kMapBlockSize - inBlock);
        (void)XXH3_128bits_update(state->hash, data, take);
        inBlock += static_cast<std::uint32_t>(take);
        data += take;
        size -= take;
        if (inBlock == kMapBlockSize)
            CloseBlock();
    }
    return true;
}

std::optional<std::vector<BlockDigest>> BlockDigester::Finish() {
    if (!state)
        return std::nullopt;
    if (inBlock > 0)
        CloseBlock();
    state.reset();
    return std::move(done);
}

}  // namespace ombrelta
