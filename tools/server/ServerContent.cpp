#include "tools/server/ServerContent.h"

#include <algorithm>
#include <string>

#include "tools/content/ContentName.h"
#include "tools/content/PathText.h"

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

// A content file as a chunk request reads it.
struct ServedFile {
    const File& handle;
    const LoadStamp& loaded;
    std::uint32_t size;
    std::string what;
};

// Checked before the read, which then need not happen, and after it, for a write meanwhile.
void RequireUnchanged(const ServedFile& file, ContentChanges* changes) {
    if (!file.loaded.Changed(file.handle))
        return;
    if (changes != nullptr && file.loaded.FirstToNotice())
        changes->Report(file.what);
    throw RequestError(file.what + " changed on disk since it was loaded");
}

// The chunk of a file at offset, as an answer built by makeAnswer(last, count) whose last count
// bytes are then filled from the file. An offset equal to the size is the end: the last flag
// with no data, which is also the whole answer for an empty file.
std::vector<std::uint8_t> ChunkAt(const ServedFile& file,
                                  std::uint32_t offset,
                                  std::uint32_t chunk,
                                  AnswerMaker makeAnswer,
                                  ContentChanges* changes) {
    if (offset > file.size)
        throw RequestError(file.what + ": offset " + std::to_string(offset) + " past its size " +
                           std::to_string(file.size));
    std::uint32_t count = std::min(chunk, file.size - offset);
    std::vector<std::uint8_t> answer = makeAnswer(offset + count == file.size, count);
    if (count == 0)
        return answer;
    RequireUnchanged(file, changes);
    ReadFileRange(file.handle, offset, std::span(answer).last(count), file.what);
    RequireUnchanged(file, changes);
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

ServerContent::ServerContent(const std::filesystem::path& root,
                             std::uint32_t chunkSize,
                             ContentChanges* changes)
    : patchChunk(Cap(chunkSize, kMaxPatchChunk)), fileChunk(Cap(chunkSize, kMaxFileChunk)), changes(changes) {
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
    if (const auto* map = std::get_if<BlockMapRequest>(&request))
        return AnswerBlockMap(*map);
    return AnswerFileChunk(std::get<FileChunkRequest>(request));
}

std::vector<std::uint8_t> ServerContent::AnswerPatchChunk(const PatchChunkRequest& request) const {
    const PatchArchive* patch = patches.Find(request.version);
    if (patch == nullptr)
        throw RequestError("chunk of unknown patch version " + std::to_string(request.version));
    return ChunkAt({patch->handle, patch->loaded, patch->size, "patch " + EscapeForLog(patch->fileName)},
                   request.offset, patchChunk, PatchChunkAnswer, changes);
}

std::vector<std::uint8_t> ServerContent::AnswerFileChunk(const FileChunkRequest& request) const {
    const GameFile* file = files.Find(request.fileId);
    if (file == nullptr)
        throw RequestError("chunk of unknown file id " + std::to_string(request.fileId));
    return ChunkAt({file->handle, file->loaded, file->size, "file " + EscapeForLog(file->path)},
                   request.offset, fileChunk, FileChunkAnswer, changes);
}

// The map was made at load from the bytes the handle serves, so a file changed since then has
// none that can be trusted: such a request is refused like its chunks.
std::vector<std::uint8_t> ServerContent::AnswerBlockMap(const BlockMapRequest& request) const {
    const GameFile* file = files.Find(request.fileId);
    if (file == nullptr)
        throw RequestError("block map of unknown file id " + std::to_string(request.fileId));
    const std::vector<std::uint8_t>& map = file->blockMap;
    if (request.offset > map.size() || (request.offset == map.size() && !map.empty()))
        throw RequestError("file " + EscapeForLog(file->path) + ": block map offset " +
                           std::to_string(request.offset) + " past its size " + std::to_string(map.size()));
    RequireUnchanged({file->handle, file->loaded, file->size, "file " + EscapeForLog(file->path)}, changes);
    const std::size_t count = std::min<std::size_t>(kMaxBlockMapPiece, map.size() - request.offset);
    return BlockMapAnswer(static_cast<std::uint32_t>(map.size()),
                          std::span(map).subspan(request.offset, count));
}

std::vector<std::string> ServerContent::ChangedFiles() const {
    std::vector<std::string> changed;
    for (const PatchArchive* patch = patches.NextAfter(0); patch != nullptr;
         patch = patches.NextAfter(patch->version)) {
        if (patch->loaded.Changed(patch->handle))
            changed.push_back("patch " + EscapeForLog(patch->fileName));
    }
    for (std::uint16_t id = 0; id < files.Count(); ++id) {
        const GameFile* file = files.Find(id);
        if (file->loaded.Changed(file->handle))
            changed.push_back("file " + EscapeForLog(file->path));
    }
    return changed;
}

}  // namespace ombrelta::server
