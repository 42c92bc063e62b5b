#include "verify/FileHash.h"

#include <array>

#include "common/AsciiCase.h"
#include "common/BlockMap.h"
#include "common/DigestHasher.h"
#include "common/Hex.h"
#include "verify/HandOffThread.h"

namespace ombrelta {
namespace {

constexpr std::size_t kBlockSize = 8192;

using Consume = std::function<bool(const std::uint8_t*, std::size_t)>;

// Feeds the file to consume a buffer at a time, asking stop() before each: next() gives the
// buffer, which is filled whole unless the file ends. Nothing once stop says true, false when the
// file cannot be opened or consume refuses bytes. A read error ends the pass like the end of the
// file; its digest will not match.
std::optional<bool> ReadPiecesUntil(const std::wstring& path,
                                    const std::function<bool()>& stop,
                                    const std::function<std::span<std::uint8_t>()>& next,
                                    const Consume& consume) {
    if (!PathExists(path))
        return false;
    std::optional<File> file = File::OpenRead(path);
    if (!file)
        return false;
    for (std::uint64_t offset = 0;;) {
        if (stop && stop())
            return std::nullopt;
        const std::span<std::uint8_t> buffer = next();
        const std::size_t filled = file->ReadAt(offset, buffer.data(), buffer.size()).value_or(0);
        if (filled == 0)
            return true;
        if (!consume(buffer.data(), filled))
            return false;
        if (filled < buffer.size())
            return true;
        offset += filled;
    }
}

// ReadPiecesUntil through one buffer of kBlockSize bytes.
std::optional<bool> ReadBlocksUntil(const std::wstring& path,
                                    const std::function<bool()>& stop,
                                    const Consume& consume) {
    std::array<std::uint8_t, kBlockSize> block;
    return ReadPiecesUntil(
        path, stop, [&] { return std::span(block); }, consume);
}

template <typename Hasher>
std::string HexOf(std::optional<Hasher>& hasher) {
    auto digest = hasher->Finish();
    return digest ? BytesToHex(*digest) : std::string();
}

// The digest text of a file read in blocks, for either hasher; see ComputeFileMd5Until.
template <typename Hasher>
std::optional<std::string> DigestFileUntil(const std::wstring& path, const std::function<bool()>& stop) {
    std::optional<Hasher> hasher = Hasher::Create();
    if (!hasher)
        return std::string();
    const std::optional<bool> read = ReadBlocksUntil(
        path, stop, [&](const std::uint8_t* data, std::size_t size) { return hasher->Update(data, size); });
    if (!read)
        return std::nullopt;
    return *read ? HexOf(hasher) : std::string();
}

}  // namespace

std::string ComputeFileMd5(const std::wstring& path) {
    return ComputeFileMd5Until(path, nullptr).value_or(std::string());
}

HashedFile HashFile(const std::wstring& path, bool withBlocks) {
    return *HashFileUntil(path, withBlocks, nullptr);
}

std::optional<HashedFile> HashFileUntil(const std::wstring& path,
                                        bool withBlocks,
                                        const std::function<bool()>& stop) {
    std::optional<FileStamp> stamp = GetFileStamp(path);
    std::optional<BlockDigester> digester = withBlocks ? BlockDigester::Create() : std::nullopt;
    if (!digester) {
        std::optional<std::string> md5 = ComputeFileMd5Until(path, stop);
        if (!md5)
            return std::nullopt;
        return HashedFile{.md5 = std::move(*md5), .stampBefore = stamp, .blocks = {}};
    }
    std::optional<Md5Hasher> hasher = Md5Hasher::Create();
    if (!hasher)
        return HashedFile{.md5 = {}, .stampBefore = stamp, .blocks = {}};
    bool digested = true;
    HandOffThread blocks(kMapBlockSize, [&](std::span<const std::uint8_t> bytes) {
        digested = digested && digester->Update(bytes.data(), bytes.size());
    });
    // The file is read a whole block at a time straight into the buffer handed to the block
    // thread, so the block digests cost no copy.
    const std::optional<bool> read = ReadPiecesUntil(
        path, stop, [&] { return blocks.Next(); },
        [&](const std::uint8_t* data, std::size_t size) {
            if (!hasher->Update(data, size))
                return false;
            blocks.Submit(size);
            return true;
        });
    if (!read)
        return std::nullopt;
    HashedFile hashed{.md5 = *read ? HexOf(hasher) : std::string(), .stampBefore = stamp, .blocks = {}};
    blocks.Drain();
    if (!hashed.md5.empty() && digested)
        hashed.blocks = digester->Finish().value_or(std::vector<BlockDigest>());
    return hashed;
}

std::optional<std::string> ComputeFileMd5Until(const std::wstring& path, const std::function<bool()>& stop) {
    return DigestFileUntil<Md5Hasher>(path, stop);
}

std::string ComputeFileSha256(const std::wstring& path) {
    return DigestFileUntil<Sha256Hasher>(path, nullptr).value_or(std::string());
}

FileDigests ComputeFileDigests(const std::wstring& path) {
    std::optional<Md5Hasher> md5 = Md5Hasher::Create();
    std::optional<Sha256Hasher> sha256 = Sha256Hasher::Create();
    if (!md5 || !sha256)
        return {};
    const bool read = ReadBlocksUntil(path, nullptr, [&](const std::uint8_t* data, std::size_t size) {
                          return md5->Update(data, size) && sha256->Update(data, size);
                      }).value_or(false);
    if (!read)
        return {};
    return FileDigests{.md5 = HexOf(md5), .sha256 = HexOf(sha256)};
}

bool SameMd5Text(std::string_view a, std::string_view b) {
    return EqualsIgnoringAsciiCase(a, b);
}

}  // namespace ombrelta
