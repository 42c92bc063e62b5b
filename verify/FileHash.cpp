#include "verify/FileHash.h"

#include <array>

#include "common/AsciiCase.h"
#include "common/DigestHasher.h"
#include "common/Hex.h"

namespace ombrelta {
namespace {

constexpr std::size_t kBlockSize = 8192;

// The digest text of a file read in blocks, for either hasher; see ComputeFileMd5Until.
template <typename Hasher>
std::optional<std::string> DigestFileUntil(const std::wstring& path, const std::function<bool()>& stop) {
    if (!PathExists(path))
        return std::string();
    std::optional<File> file = File::OpenRead(path);
    if (!file)
        return std::string();
    std::optional<Hasher> hasher = Hasher::Create();
    if (!hasher)
        return std::string();
    std::array<std::uint8_t, kBlockSize> block;
    for (;;) {
        if (stop && stop())
            return std::nullopt;
        // A read error ends the pass like the end of the file; that digest will not match.
        std::optional<std::size_t> got = file->Read(block.data(), block.size());
        if (!got || *got == 0)
            break;
        if (!hasher->Update(block.data(), *got))
            return std::string();
    }
    auto digest = hasher->Finish();
    if (!digest)
        return std::string();
    return BytesToHex(*digest);
}

}  // namespace

std::string ComputeFileMd5(const std::wstring& path) {
    return ComputeFileMd5Until(path, nullptr).value_or(std::string());
}

HashedFile HashFile(const std::wstring& path) {
    std::optional<FileStamp> stamp = GetFileStamp(path);
    return HashedFile{.md5 = ComputeFileMd5(path), .stampBefore = stamp};
}

std::optional<std::string> ComputeFileMd5Until(const std::wstring& path, const std::function<bool()>& stop) {
    return DigestFileUntil<Md5Hasher>(path, stop);
}

std::string ComputeFileSha256(const std::wstring& path) {
    return DigestFileUntil<Sha256Hasher>(path, nullptr).value_or(std::string());
}

bool SameMd5Text(std::string_view a, std::string_view b) {
    return EqualsIgnoringAsciiCase(a, b);
}

}  // namespace ombrelta
