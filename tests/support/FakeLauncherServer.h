#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/ScriptedServer.h"

namespace ombrelta::test {

// A launcher server that answers every message from a list of patches and a list of game files,
// in chunks of chunkSize bytes, on top of ScriptedServer. Tests provoke faults with Intercept.
//
//     FakeLauncherServer server({{.version = 1, .fileName = "p1.zip", .archive = bytes}}, {});
//     LauncherApi api;
//     ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
class FakeLauncherServer {
public:
    struct Patch {
        std::uint16_t version = 0;
        std::string fileName;
        std::string archive;
        std::optional<std::uint32_t> announcedSize;  // the archive's size when not set
    };
    struct GameFile {
        std::uint8_t id = 0;
        std::string path;
        std::string hash;
        std::int64_t size = 0;
        std::string content;
    };
    /// Sees each request payload first; a reply it returns replaces the normal answer.
    using Intercept = std::function<std::optional<Reply>(const Bytes& request)>;

    FakeLauncherServer(std::vector<Patch> patches, std::vector<GameFile> files, std::size_t chunkSize = 1000);

    std::wstring Host() const { return server->Host(); }
    std::uint16_t Port() const { return server->Port(); }
    /// Set before the client connects.
    void SetIntercept(Intercept intercept) { this->intercept = std::move(intercept); }
    std::vector<Bytes> RequestPayloads() const { return server->RequestPayloads(); }
    std::vector<ServedConnection> Connections() const { return server->Connections(); }
    /// The message codes of all requests, in order.
    std::vector<std::uint16_t> RequestCodes() const;

private:
    Reply Answer(const Bytes& request);
    const Patch* NextPatch(std::uint16_t version) const;
    Reply PatchChunk(const Bytes& request) const;
    Reply HashList() const;
    Reply FileChunk(const Bytes& request) const;

    std::vector<Patch> patches;
    std::vector<GameFile> files;
    std::size_t chunkSize;
    Intercept intercept;
    std::unique_ptr<ScriptedServer> server;
};

/// A game file listed with its true MD5 and size.
FakeLauncherServer::GameFile ListedFile(std::uint8_t id, std::string path, std::string content);

/// Lower-case MD5 text of bytes.
std::string Md5Text(const std::string& bytes);

}  // namespace ombrelta::test
