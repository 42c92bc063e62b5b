#include "tests/verify/GameServer.h"

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "common/BlockMap.h"
#include "common/FileSystem.h"
#include "common/Text.h"
#include "verify/FileHash.h"

namespace ombrelta::test {
namespace {

constexpr std::uint16_t kHashData = 40102;
constexpr std::uint16_t kHashListRequest = 40103;
constexpr std::uint16_t kBlockMapRequest = 40105;

}  // namespace

GameServer::GameServer(std::vector<File> files, std::size_t chunkSize)
    : files(std::move(files)), chunkSize(chunkSize) {
    server = std::make_unique<ScriptedServer>([this](const Bytes& request) { return Answer(request); });
}

void GameServer::Connect(LauncherApi& api) {
    ASSERT_TRUE(api.Connect(server->Host(), server->Port()));
}

void GameServer::SetFault(std::uint8_t id, Fault fault) {
    std::lock_guard lock(mutex);
    faults[id] = fault;
}

std::vector<std::uint32_t> GameServer::ChunkOffsets(std::uint8_t id) const {
    std::vector<std::uint32_t> offsets;
    for (const Bytes& payload : server->RequestPayloads()) {
        if (RequestCode(payload) == kHashData && U16At(payload, 4) == id)
            offsets.push_back(U32At(payload, 6));
    }
    return offsets;
}

std::size_t GameServer::ChunkRequestCount() const {
    std::size_t count = 0;
    for (const Bytes& payload : server->RequestPayloads())
        count += RequestCode(payload) == kHashData ? 1 : 0;
    return count;
}

Reply GameServer::Answer(const Bytes& request) {
    if (RequestCode(request) == kHashData)
        return ChunkAnswer(request);
    if (RequestCode(request) == kBlockMapRequest)
        return BlockMapAnswer(request);
    if (RequestCode(request) != kHashListRequest)
        return Reply::Close();
    PayloadBuilder list;
    list.U16(kHashData).U16(0).U8(static_cast<std::uint8_t>(files.size()));
    for (const File& file : files)
        list.U8(file.id).Str(file.path).Str(file.hash).I64(file.size);
    return Reply::Payload(list.Take());
}

Reply GameServer::ChunkAnswer(const Bytes& request) {
    const std::uint16_t id = U16At(request, 4);
    const std::uint32_t offset = U32At(request, 6);
    auto file = std::find_if(files.begin(), files.end(), [&](const File& f) { return f.id == id; });
    if (file == files.end())
        return Reply::Close();
    Fault fault = Fault::kNone;
    {
        std::lock_guard lock(mutex);
        if (faults.count(static_cast<std::uint8_t>(id)))
            fault = faults[static_cast<std::uint8_t>(id)];
    }
    const bool afterFirst = offset > 0;
    if (fault == Fault::kWrongAnswerType || (fault == Fault::kWrongAnswerTypeAfterFirst && afterFirst))
        return Reply::Payload(PayloadBuilder().U16(40101).U16(0).U16(0).U32(1).U32(0).Take());
    if (fault == Fault::kCloseAfterFirst && afterFirst)
        return Reply::Close();
    std::string piece;
    if (offset < file->content.size())
        piece = file->content.substr(offset, chunkSize);
    bool last = offset + piece.size() >= file->content.size();
    if (fault == Fault::kEmptyChunkAfterFirst && afterFirst) {
        piece.clear();
        last = false;
    }
    if (fault == Fault::kHalfChunkOnceInsideABlock && offset % kMapBlockSize != 0 && !last) {
        piece.resize(piece.size() / 2);
        SetFault(static_cast<std::uint8_t>(id), Fault::kNone);
    }
    PayloadBuilder answer;
    answer.U16(kHashData).U16(0).U16(0).U32(last ? 1 : 0).U32(static_cast<std::uint32_t>(piece.size()));
    answer.Raw(piece);
    return Reply::Payload(answer.Take());
}

Reply GameServer::BlockMapAnswer(const Bytes& request) const {
    const std::uint16_t id = U16At(request, 2);
    const std::uint32_t offset = U32At(request, 4);
    auto file = std::find_if(files.begin(), files.end(), [&](const File& f) { return f.id == id; });
    if (file == files.end())
        return Reply::Close();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(file->content.data());
    BlockMap map{.fileSize = file->content.size(), .fileMd5 = *Md5Hasher::Of({bytes, file->content.size()}), .blocks = {}};
    for (std::size_t at = 0; at < file->content.size(); at += kMapBlockSize)
        map.blocks.push_back(BlockDigestOf({bytes + at, std::min<std::size_t>(kMapBlockSize, file->content.size() - at)}));
    const std::vector<std::uint8_t> whole = WriteBlockMap(map);
    const std::size_t from = std::min<std::size_t>(offset, whole.size());
    const std::size_t count = std::min<std::size_t>(60000, whole.size() - from);
    PayloadBuilder answer;
    answer.U16(kBlockMapRequest).U32(static_cast<std::uint32_t>(whole.size())).U32(static_cast<std::uint32_t>(count));
    answer.Raw(std::string_view(reinterpret_cast<const char*>(whole.data()) + from, count));
    return Reply::Payload(answer.Take());
}

GameServer::File IntactFile(std::uint8_t id, std::string path, std::string content) {
    GameServer::File file;
    file.id = id;
    file.path = std::move(path);
    file.hash = Md5OfBytes(content);
    file.size = static_cast<std::int64_t>(content.size());
    file.content = std::move(content);
    return file;
}

std::string Md5OfBytes(const std::string& bytes) {
    TempDir dir;
    const std::wstring path = dir.Child(L"bytes.bin");
    WriteFileBytes(path, bytes);
    return ComputeFileMd5(path);
}

ProgressCallback ReportLog::Bind() {
    return [this](const std::wstring& message, std::int32_t percent) {
        calls.emplace_back(WideToUtf8(message), percent);
    };
}

}  // namespace ombrelta::test
