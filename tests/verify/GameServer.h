#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/ProgressCallback.h"
#include "protocol/LauncherApi.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {

/// A launcher server with a hash list and the game files behind it, served in chunks of
/// chunkSize bytes, and their block maps. Chunk answers can be spoiled per file id to provoke
/// failures.
class GameServer {
public:
    struct File {
        std::uint8_t id = 0;
        std::string path;
        std::string hash;       // as listed
        std::int64_t size = 0;  // as listed
        std::string content;    // what the chunks carry
    };
    enum class Fault {
        kNone,
        kEmptyChunkAfterFirst,
        kWrongAnswerType,
        kWrongAnswerTypeAfterFirst,
        kCloseAfterFirst,
        kHalfChunkOnceInsideABlock,  // the first answer at an offset inside a 1 MiB block
    };

    explicit GameServer(std::vector<File> files, std::size_t chunkSize = 1000);

    /// Connects the api to the server; fails the test when it cannot.
    void Connect(LauncherApi& api);
    void SetFault(std::uint8_t id, Fault fault);
    /// Every request packet, length field included.
    std::vector<Bytes> Requests() const { return server->Requests(); }
    /// The offsets of the chunk requests for one file id, in order.
    std::vector<std::uint32_t> ChunkOffsets(std::uint8_t id) const;
    /// Number of chunk requests for any file.
    std::size_t ChunkRequestCount() const;

private:
    Reply Answer(const Bytes& request);
    Reply ChunkAnswer(const Bytes& request);
    Reply BlockMapAnswer(const Bytes& request) const;

    std::vector<File> files;
    std::size_t chunkSize;
    mutable std::mutex mutex;
    std::map<std::uint8_t, Fault> faults;
    std::unique_ptr<ScriptedServer> server;
};

/// The list entry of a file listed with its true MD5 and size.
GameServer::File IntactFile(std::uint8_t id, std::string path, std::string content);

/// Lowercase MD5 text of bytes, computed through a temporary file.
std::string Md5OfBytes(const std::string& bytes);

/// A progress callback's calls, with the text as UTF-8.
struct ReportLog {
    std::vector<std::pair<std::string, std::int32_t>> calls;
    ProgressCallback Bind();
};

}  // namespace ombrelta::test
