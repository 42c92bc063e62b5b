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

using AnswerMaker = std::vector<std::uint8_t> (*)(bool last, std::uint32_t dataSize);

// The chunk of a file of known size at offset, as an answer built by makeAnswer(last, count)
// whose last count bytes are then filled from the file. An offset equal to the size is the end:
// the last flag with no data, which is also the whole answer for an empty file.
std::vector<std::uint8_t> ChunkAt(const std::filesystem::path& file,
                                  std::uint32_t size,
                                  std::uint32_t offset,
                                  std::uint32_t chunk,
                                  const std::string& what,
                                  AnswerMaker makeAnswer) {
    if (offset > size)
        throw RequestError(what + ": offset " + std::to_string(offset) + " past its size " +
                           std::to_string(size));
    std::uint32_t count = std::min(chunk, size - offset);
    std::vector<std::uint8_t> answer = makeAnswer(offset + count == size, count);
    if (count > 0)
        ReadFileRange(file, offset, std::span(answer).last(count));
    return answer;
}

}  // namespace

void ReadFileRange(const std::filesystem::path& file, std::uint64_t offset, std::span<std::uint8_t> into) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw RequestError("cannot open " + PathToUtf8(file));
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(into.data()), static_cast<std::streamsize>(into.size()));
    if (static_cast<std::size_t>(in.gcount()) != into.size())
        throw RequestError("file changed since start, too short now: " + PathToUtf8(file));
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
    return ChunkAt(patch->file, patch->size, request.offset, patchChunk_, "patch " + patch->fileName,
                   PatchChunkAnswer);
}

std::vector<std::uint8_t> ServerContent::AnswerFileChunk(const FileChunkRequest& request) const {
    const GameFile* file = files_.Find(request.fileId);
    if (file == nullptr)
        throw RequestError("chunk of unknown file id " + std::to_string(request.fileId));
    return ChunkAt(file->file, file->size, request.offset, fileChunk_, "file " + file->path, FileChunkAnswer);
}

}  // namespace ombrelta::server
