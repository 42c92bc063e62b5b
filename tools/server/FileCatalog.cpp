#include "tools/server/FileCatalog.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "common/Md5.h"
#include "tools/server/PathText.h"
#include "verify/FileHash.h"
#include "tools/server/ServerProtocol.h"

namespace ombrelta::server {
namespace {

constexpr std::uint64_t kMaxFileSize = 4294967295u;
constexpr std::size_t kMaxFiles = 255;

// Limits are checked before any hashing, so a tree the protocol cannot carry is refused at once.
std::vector<GameFile> ListFiles(const std::filesystem::path& dir) {
    std::vector<GameFile> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file())
            continue;
        GameFile file;
        file.file = entry.path();
        file.path = GenericPathToUtf8(entry.path().lexically_relative(dir));
        if (file.path.size() > 255)
            throw std::runtime_error("game file path longer than 255 bytes: " + file.path);
        std::uint64_t size = entry.file_size();
        if (size > kMaxFileSize)
            throw std::runtime_error("game file " + file.path + " is larger than 4294967295 bytes");
        file.size = static_cast<std::uint32_t>(size);
        files.push_back(std::move(file));
        if (files.size() > kMaxFiles)
            throw std::runtime_error("more than 255 game files; one hash list carries at most 255");
    }
    std::sort(files.begin(), files.end(),
              [](const GameFile& a, const GameFile& b) { return a.path < b.path; });
    return files;
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

std::string FileMd5Hex(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + PathToUtf8(file));
    std::optional<Md5Hasher> hasher = Md5Hasher::Create();
    if (!hasher)
        throw std::runtime_error("no MD5 hasher available");
    std::vector<char> block(1 << 16);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        auto count = static_cast<std::size_t>(in.gcount());
        if (count > 0 && !hasher->Update(reinterpret_cast<const std::uint8_t*>(block.data()), count))
            throw std::runtime_error("cannot hash " + PathToUtf8(file));
    }
    if (in.bad())
        throw std::runtime_error("cannot read " + PathToUtf8(file));
    std::optional<Md5Digest> digest = hasher->Finish();
    if (!digest)
        throw std::runtime_error("cannot hash " + PathToUtf8(file));
    return BytesToHex(*digest);
}

FileCatalog FileCatalog::Load(const std::filesystem::path& dir) {
    FileCatalog catalog;
    if (std::filesystem::exists(dir))
        catalog.files_ = ListFiles(dir);
    for (GameFile& file : catalog.files_)
        file.md5 = FileMd5Hex(file.file);
    catalog.hashList_ = BuildHashList(catalog.files_);
    return catalog;
}

const GameFile* FileCatalog::Find(std::uint16_t id) const {
    return id < files_.size() ? &files_[id] : nullptr;
}

}  // namespace ombrelta::server
