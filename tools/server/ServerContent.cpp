#include "tools/server/ServerContent.h"

#include <algorithm>
#include <string>

#include "tools/server/ContentName.h"
#include "tools/server/PathText.h"

namespace ombrelta::server {
namespace {

std::uint32_t Cap(std::uint32_t chunkSize, std::uint32_t limit) {
    return chunkSize == 0 ? limit : std::min(chunkSize, limit);
}

void RequireDirectory(const std::filesystem::path& root) {
    std::error_code error;
    if (!std::filesystem::is_directory(root, error))
        throw ContentError({"content root is not a directory: " + EscapeForLog(PathToUtf8(root))});
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

using AnswerMaker = std::vector<std::uint8_t> (*)(bool last, std::uint32_t dataSize);

// The chunk of a file of known size at offset, as an answer built by makeAnswer(last, count)
// whose last count bytes are then filled from the file. An offset equal to the size is the end:
// the last flag with no data, which is also the whole answer for an empty file.
std::vector<std::uint8_t> ChunkAt(const File& file,
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
        ReadFileRange(file, offset, std::span(answer).last(count), what);
    return answer;
}

}  // namespace

void ReadFileRange(const File& file,
                   std::uint64_t offset,
                   std::span<std::uint8_t> into,
                   const std::string& what) {
    std::optional<std::size_t> got = file.ReadAt(offset, into.data(), into.size());
    if (!got)
        throw RequestError("cannot read " + what);
    if (*got != into.size())
        throw RequestError(what + " was cut short since start");
}

ContentError::ContentError(const std::vector<std::string>& problems)
    : std::runtime_error(JoinLines(problems)), problems(problems) {}

ServerContent::ServerContent(const std::filesystem::path& root, std::uint32_t chunkSize)
    : patchChunk(Cap(chunkSize, kMaxPatchChunk)), fileChunk(Cap(chunkSize, kMaxFileChunk)) {
    RequireDirectory(root);
    ContentProblems problems;
    patches = PatchCatalog::Load(root / "patches", problems);
    files = FileCatalog::Load(root / "files", problems);
    if (!problems.empty())
        throw ContentError(problems);
}

std::vector<std::uint8_t> ServerContent::Answer(const Request& request) const {
    if (const auto* hasNext = std::get_if<HasNextPatchRequest>(&request))
        return HasNextPatchAnswer(patches.NextAfter(hasNext->version) != nullptr);
    if (const auto* next = std::get_if<NextPatchRequest>(&request)) {
        const PatchArchive* patch = patches.NextAfter(next->version);
        if (patch == nullptr)
            return NextPatchAnswer(nullptr);
        PatchRecord record{.version = patch->version, .fileName = patch->fileName, .size = patch->size};
        return NextPatchAnswer(&record);
    }
    if (const auto* chunk = std::get_if<PatchChunkRequest>(&request))
        return AnswerPatchChunk(*chunk);
    if (std::holds_alternative<HashListRequest>(request))
        return files.HashListPayload();
    return AnswerFileChunk(std::get<FileChunkRequest>(request));
}

std::vector<std::uint8_t> ServerContent::AnswerPatchChunk(const PatchChunkRequest& request) const {
    const PatchArchive* patch = patches.Find(request.version);
    if (patch == nullptr)
        throw RequestError("chunk of unknown patch version " + std::to_string(request.version));
    return ChunkAt(patch->handle, patch->size, request.offset, patchChunk,
                   "patch " + EscapeForLog(patch->fileName), PatchChunkAnswer);
}

std::vector<std::uint8_t> ServerContent::AnswerFileChunk(const FileChunkRequest& request) const {
    const GameFile* file = files.Find(request.fileId);
    if (file == nullptr)
        throw RequestError("chunk of unknown file id " + std::to_string(request.fileId));
    return ChunkAt(file->handle, file->size, request.offset, fileChunk, "file " + EscapeForLog(file->path),
                   FileChunkAnswer);
}

}  // namespace ombrelta::server
