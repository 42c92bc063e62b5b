#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "tools/content/PatchCatalog.h"
#include "tools/server/ContentChanges.h"
#include "tools/content/FileCatalog.h"
#include "tools/server/ServerProtocol.h"

namespace ombrelta::server {

/// A request that the server will not answer (unknown version or id, offset past the end, or a
/// file that can no longer be read); the connection that sent it is closed.
class RequestError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Content the server will not serve; problems lists every fault found, one line each, and
/// what() joins them with line feeds.
class ContentError : public std::runtime_error {
public:
    explicit ContentError(const std::vector<std::string>& problems);
    const std::vector<std::string>& Problems() const { return problems; }

private:
    std::vector<std::string> problems;
};

/// Everything the server offers, fixed at start and shared read-only by every connection.
class ServerContent {
public:
    /// Loads root/patches and root/files, opening every file once. chunkSize caps the data of
    /// every chunk answer (0: the largest a packet carries). Throws ContentError, listing every
    /// fault for the operator, when root is not a directory or its content cannot be served
    /// (see the catalogs). changes, when given, must outlive the content: it hears of each file
    /// found changed while serving, once per file.
    ServerContent(const std::filesystem::path& root,
                  std::uint32_t chunkSize,
                  ContentChanges* changes = nullptr);
    ServerContent(const ServerContent&) = delete;
    ServerContent& operator=(const ServerContent&) = delete;

    /// The answer payload for one request. Throws RequestError for a request naming what does
    /// not exist; reads chunk data at this moment from the handles opened at start, so renaming,
    /// replacing or deleting files under the root changes nothing. A file changed in place since
    /// it was loaded (LoadStamp) is not read from: that throws RequestError too.
    std::vector<std::uint8_t> Answer(const Request& request) const;
    /// "file PATH" or "patch NAME" for each file changed since it was loaded, in list order.
    std::vector<std::string> ChangedFiles() const;

    const PatchCatalog& Patches() const { return patches; }
    const FileCatalog& Files() const { return files; }

private:
    std::vector<std::uint8_t> AnswerPatchChunk(const PatchChunkRequest& request) const;
    std::vector<std::uint8_t> AnswerFileChunk(const FileChunkRequest& request) const;
    std::vector<std::uint8_t> AnswerBlockMap(const BlockMapRequest& request) const;

    PatchCatalog patches;
    FileCatalog files;
    std::uint32_t patchChunk;
    std::uint32_t fileChunk;
    ContentChanges* changes;
};

/// Fills into with the bytes of file from offset. Throws RequestError, naming what, when the
/// file cannot be read or holds fewer bytes than asked for (it was cut short in place).
void ReadFileRange(const File& file,
                   std::uint64_t offset,
                   std::span<std::uint8_t> into,
                   const std::string& what);

}  // namespace ombrelta::server
