#include "tools/content/FileCatalog.h"

#include <stdexcept>

#include "common/BlockMap.h"
#include "common/DigestHasher.h"
#include "common/Hex.h"
#include "common/Text.h"
#include "tools/content/ContentName.h"
#include "tools/content/ContentRules.h"
#include "tools/content/HashListAnswer.h"
#include "tools/content/PathText.h"

namespace ombrelta {
namespace {

constexpr std::uint64_t kMaxFileSize = 4294967295u;
constexpr std::size_t kMaxFiles = 255;

// Limits are checked before any hashing, so a tree the protocol cannot carry is refused at once.
void CheckLimits(const std::vector<TreeFile>& found, ContentProblems& problems) {
    if (found.size() > kMaxFiles)
        problems.push_back("more than 255 game files; one hash list carries at most 255");
    std::vector<std::string> paths;
    for (const TreeFile& file : found) {
        paths.push_back(file.path);
        if (file.path.size() > 255)
            problems.push_back("game file path longer than 255 bytes: " + EscapeForLog(file.path));
        if (file.size > kMaxFileSize)
            problems.push_back("game file " + EscapeForLog(file.path) + " is larger than 4294967295 bytes");
    }
    CheckGameFilePaths(paths, problems);
}

// The block map of a file hashed whole, when its final size has one.
void KeepBlockMap(GameFile& file, const Md5Digest& digest, std::optional<BlockDigester>& blocks) {
    if (!blocks || !HasBlockMap(file.size))
        return;
    std::optional<std::vector<BlockDigest>> digests = blocks->Finish();
    if (digests)
        file.blockMap =
            WriteBlockMap({.fileSize = file.size, .fileMd5 = digest, .blocks = std::move(*digests)});
}

// MD5 and size of what the handle reads, so the list describes exactly the bytes served; for a
// file listed at 4 MiB or more, its block map from the same reading.
bool HashHandle(const File& handle, std::uint64_t listedSize, GameFile& file) {
    std::optional<Md5Hasher> hasher = Md5Hasher::Create();
    if (!hasher)
        return false;
    std::optional<BlockDigester> blocks = HasBlockMap(listedSize) ? BlockDigester::Create() : std::nullopt;
    std::vector<std::uint8_t> block(1 << 16);
    std::uint64_t offset = 0;
    for (;;) {
        std::optional<std::size_t> got = handle.ReadAt(offset, block.data(), block.size());
        if (!got || (*got > 0 && !hasher->Update(block.data(), *got)))
            return false;
        if (*got == 0)
            break;
        if (blocks && !blocks->Update(block.data(), *got))
            blocks.reset();
        offset += *got;
        if (offset > kMaxFileSize)
            return false;
    }
    std::optional<Md5Digest> digest = hasher->Finish();
    if (!digest)
        return false;
    file.md5 = BytesToHex(*digest);
    file.size = static_cast<std::uint32_t>(offset);
    KeepBlockMap(file, *digest, blocks);
    return true;
}

std::optional<GameFile> OpenAndHash(const TreeFile& found, ContentProblems& problems) {
    std::optional<File> handle = File::OpenRead(Utf8ToWide(PathToUtf8(found.file)));
    if (!handle) {
        problems.push_back("cannot open game file " + EscapeForLog(found.path));
        return std::nullopt;
    }
    std::optional<LoadStamp> loaded = LoadStamp::Take(*handle, Utf8ToWide(PathToUtf8(found.file)));
    if (!loaded) {
        problems.push_back("cannot read game file " + EscapeForLog(found.path));
        return std::nullopt;
    }
    GameFile file{.path = found.path,
                  .md5 = {},
                  .size = 0,
                  .handle = std::move(*handle),
                  .loaded = std::move(*loaded),
                  .blockMap = {}};
    if (!HashHandle(file.handle, found.size, file)) {
        problems.push_back("cannot read game file " + EscapeForLog(found.path));
        return std::nullopt;
    }
    return file;
}

std::vector<std::uint8_t> BuildHashList(const std::vector<GameFile>& files) {
    std::vector<HashListItem> items;
    for (std::size_t i = 0; i < files.size(); ++i) {
        items.push_back(HashListItem{.id = static_cast<std::uint8_t>(i),
                                     .path = files[i].path,
                                     .hash = files[i].md5,
                                     .size = files[i].size});
    }
    return HashListAnswer(items);
}

}  // namespace

FileCatalog FileCatalog::Load(const std::filesystem::path& dir, ContentProblems& problems) {
    FileCatalog catalog;
    // Without a files folder the server still answers the hash request, with an empty list.
    if (!FolderPresent(dir, "files", problems)) {
        catalog.hashList = BuildHashList({});
        return catalog;
    }
    std::size_t before = problems.size();
    std::vector<TreeFile> found = ListTree(dir, problems);
    CheckLimits(found, problems);
    if (problems.size() != before)
        return catalog;
    for (const TreeFile& entry : found) {
        if (std::optional<GameFile> file = OpenAndHash(entry, problems))
            catalog.files.push_back(std::move(*file));
    }
    if (problems.size() != before)
        return catalog;
    try {
        catalog.hashList = BuildHashList(catalog.files);
    } catch (const std::runtime_error& e) {
        problems.push_back(e.what());
    }
    return catalog;
}

const GameFile* FileCatalog::Find(std::uint16_t id) const {
    return id < files.size() ? &files[id] : nullptr;
}

}  // namespace ombrelta
