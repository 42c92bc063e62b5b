#include "tests/support/FakeLauncherServer.h"

#include <algorithm>

#include "common/DigestHasher.h"
#include "common/Hex.h"
#include "protocol/MessageCodes.h"

namespace ombrelta::test {
namespace {

// A chunk of content from offset and whether it reaches the end.
std::pair<std::string, bool> Piece(const std::string& content, std::size_t offset, std::size_t chunkSize) {
    std::string piece = offset < content.size() ? content.substr(offset, chunkSize) : std::string();
    return {piece, offset + piece.size() >= content.size()};
}

}  // namespace

FakeLauncherServer::FakeLauncherServer(std::vector<Patch> patches, std::vector<GameFile> files, std::size_t chunkSize)
    : patches(std::move(patches)), files(std::move(files)), chunkSize(chunkSize) {
    server = std::make_unique<ScriptedServer>([this](const Bytes& request) { return Answer(request); });
}

std::vector<std::uint16_t> FakeLauncherServer::RequestCodes() const {
    std::vector<std::uint16_t> codes;
    for (const Bytes& payload : server->RequestPayloads())
        codes.push_back(RequestCode(payload));
    return codes;
}

Reply FakeLauncherServer::Answer(const Bytes& request) {
    if (intercept) {
        if (std::optional<Reply> reply = intercept(request))
            return *reply;
    }
    const std::uint16_t version = U16At(request, 2);
    switch (RequestCode(request)) {
        case HAS_NEXT_PATCH:
            return Reply::Payload(PayloadBuilder().U16(HAS_NEXT_PATCH).U8(NextPatch(version) ? 1 : 0).Take());
        case GET_NEXT_PATCH: {
            const Patch* next = NextPatch(version);
            if (!next)
                return Reply::Payload(PayloadBuilder().U16(GET_NEXT_PATCH).U32(1).Take());
            const std::uint32_t size = next->announcedSize.value_or(static_cast<std::uint32_t>(next->archive.size()));
            return Reply::Payload(PayloadBuilder()
                                      .U16(GET_NEXT_PATCH)
                                      .U32(0)
                                      .U16(next->version)
                                      .U16(0)
                                      .U8(0)
                                      .Str(next->fileName)
                                      .U32(size)
                                      .Take());
        }
        case GET_PATCH_CHUNK:
            return PatchChunk(request);
        case HASH_LIST_REQUEST:
            return HashList();
        case HASH_DATA:
            return FileChunk(request);
        default:
            return Reply::Close();
    }
}

const FakeLauncherServer::Patch* FakeLauncherServer::NextPatch(std::uint16_t version) const {
    const Patch* next = nullptr;
    for (const Patch& patch : patches) {
        if (patch.version > version && (!next || patch.version < next->version))
            next = &patch;
    }
    return next;
}

Reply FakeLauncherServer::PatchChunk(const Bytes& request) const {
    const std::uint16_t version = U16At(request, 2);
    auto patch = std::find_if(patches.begin(), patches.end(), [&](const Patch& p) { return p.version == version; });
    if (patch == patches.end())
        return Reply::Close();
    auto [piece, last] = Piece(patch->archive, U32At(request, 4), chunkSize);
    return Reply::Payload(PayloadBuilder()
                              .U16(GET_PATCH_CHUNK)
                              .U32(last ? 1 : 0)
                              .U32(static_cast<std::uint32_t>(piece.size()))
                              .Raw(piece)
                              .Take());
}

Reply FakeLauncherServer::HashList() const {
    PayloadBuilder list;
    list.U16(HASH_DATA).U16(0).U8(static_cast<std::uint8_t>(files.size()));
    for (const GameFile& file : files)
        list.U8(file.id).Str(file.path).Str(file.hash).I64(file.size);
    return Reply::Payload(list.Take());
}

Reply FakeLauncherServer::FileChunk(const Bytes& request) const {
    const std::uint16_t id = U16At(request, 4);
    auto file = std::find_if(files.begin(), files.end(), [&](const GameFile& f) { return f.id == id; });
    if (U16At(request, 2) != kFileChunkSubType || file == files.end())
        return Reply::Close();
    auto [piece, last] = Piece(file->content, U32At(request, 6), chunkSize);
    return Reply::Payload(PayloadBuilder()
                              .U16(HASH_DATA)
                              .U16(0)
                              .U16(0)
                              .U32(last ? 1 : 0)
                              .U32(static_cast<std::uint32_t>(piece.size()))
                              .Raw(piece)
                              .Take());
}

FakeLauncherServer::GameFile ListedFile(std::uint8_t id, std::string path, std::string content) {
    FakeLauncherServer::GameFile file{id, std::move(path), Md5Text(content), 0, std::move(content)};
    file.size = static_cast<std::int64_t>(file.content.size());
    return file;
}

std::string Md5Text(const std::string& bytes) {
    std::optional<Md5Hasher> hasher = Md5Hasher::Create();
    if (!hasher || !hasher->Update(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
        return {};
    std::optional<Md5Digest> digest = hasher->Finish();
    return digest ? BytesToHex(*digest) : std::string();
}

}  // namespace ombrelta::test
