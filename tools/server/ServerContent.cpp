#include "tools/server/ServerContent.h"

#include <algorithm>
#include <fstream>
#include <string>

#include "tools/server/PathText.h"

namespace ombrelta::server {
namespace {

std::uint32_t Cap(std::uint32_t chunkSize, std::uint32_t limit) {
    return chunkSize == 0 ? limit : std::min(chunkSize, limit);
}

std::filesystem::path RequireDirectory(const std::filesystem::path& root) {
    if (!std::filesystem::is_directory(root))
        throw std::runtime_error("content root is not a directory: " + PathToUtf8(root));
    return root;
}

// One chunk of a file of known size. An offset equal to the size is the end: the last flag with
// no data, which is also the whole answer for an empty file.
struct ChunkSlice {
    bool last = false;
    std::vector<std::uint8_t> data;
};

ChunkSlice SliceAt(const std::filesystem::path& file,
                   std::uint32_t size,
                   std::uint32_t offset,
                   std::uint32_t chunk,
                   const std::string& what) {
    if (offset > size)
        throw RequestError(what + ": offset " + std::to_string(offset) + " past its size " +
                           std::to_string(size));
    std::uint32_t count = std::min(chunk, size - offset);
    ChunkSlice slice;
    slice.data = count == 0 ? std::vector<std::uint8_t>() : ReadFileRange(file, offset, count);
    slice.last = offset + count == size;
    return slice;
}

}  // namespace

std::vector<std::uint8_t> ReadFileRange(const std::filesystem::path& file,
                                        std::uint64_t offset,
                                        std::size_t count) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw RequestError("cannot open " + PathToUtf8(file));
    std::vector<std::uint8_t> data(count);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(count));
    if (static_cast<std::size_t>(in.gcount()) != count)
        throw RequestError("file changed since start, too short now: " + PathToUtf8(file));
    return data;
}

ServerContent::ServerContent(const std::filesystem::path& root, std::uint32_t chunkSize)
    : patches_(PatchCatalog::Load(RequireDirectory(root) / "patches")),
      files_(FileCatalog::Load(root / "files")),
      patchChunk_(Cap(chunkSize, kMaxPatchChunk)),
      fileChunk_(Cap(chunkSize, kMaxFileChunk)) {}

std::vector<std::uint8_t> ServerContent::Answer(const Request& request) const {
    if (const auto* hasNext = std::get_if<HasNextPatchRequest>(&request))
        return HasNextPatchAnswer(patches_.NextAfter(hasNext->version) != nullptr);
    if (const auto* next = std::get_if<NextPatchRequest>(&request)) {
        const PatchArchive* patch = patches_.NextAfter(next->version);
        if (patch == nullptr)
            return NextPatchAnswer(nullptr);
        PatchRecord record{.version = patch->version, .fileName = patch->fileName, .size = patch->size};
        return NextPatchAnswer(&record);
    }
    if (const auto* chunk = std::get_if<PatchChunkRequest>(&request))
        return AnswerPatchChunk(*chunk);
    if (std::holds_alternative<HashListRequest>(request))
        return files_.HashListPayload();
    return AnswerFileChunk(std::get<FileChunkRequest>(request));
}

std::vector<std::uint8_t> ServerContent::AnswerPatchChunk(const PatchChunkRequest& request) const {
    const PatchArchive* patch = patches_.Find(request.version);
    if (patch == nullptr)
        throw RequestError("chunk of unknown patch version " + std::to_string(request.version));
    ChunkSlice slice =
        SliceAt(patch->file, patch->size, request.offset, patchChunk_, "patch " + patch->fileName);
    return PatchChunkAnswer(slice.last, slice.data);
}

std::vector<std::uint8_t> ServerContent::AnswerFileChunk(const FileChunkRequest& request) const {
    const GameFile* file = files_.Find(request.fileId);
    if (file == nullptr)
        throw RequestError("chunk of unknown file id " + std::to_string(request.fileId));
    ChunkSlice slice = SliceAt(file->file, file->size, request.offset, fileChunk_, "file " + file->path);
    return FileChunkAnswer(slice.last, slice.data);
}

}  // namespace ombrelta::server
