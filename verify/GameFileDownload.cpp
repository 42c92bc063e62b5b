#include "verify/GameFileDownload.h"

#include <limits>
#include <stdexcept>
#include <vector>

#include "common/Path.h"
#include "verify/FileVerifier.h"
#include "verify/SafeEntryPath.h"

namespace ombrelta {
namespace {

class ApiChunkSource : public GameFileChunkSource {
public:
    ApiChunkSource(LauncherApi& api, std::uint16_t fileId) : api(api), fileId(fileId) {}

    std::uint64_t Fetch(std::uint32_t offset, bool& last) override {
        chunk = api.GetFileChunk(fileId, offset, last);
        return chunk.size();
    }

    bool WriteTo(File& file) override { return file.Write(chunk.data(), chunk.size()); }

private:
    LauncherApi& api;
    std::uint16_t fileId;
    std::vector<std::uint8_t> chunk;
};

std::int32_t DownloadPercent(std::uint32_t written, std::uint32_t size) {
    if (size == 0)
        return 0;
    const std::uint64_t percent = static_cast<std::uint64_t>(written) * 100 / size;
    return static_cast<std::int32_t>(percent < 100 ? percent : 100);
}

}  // namespace

bool DownloadGameFile(LauncherApi& api, const HashEntry& entry, ProgressCallback progress) {
    ApiChunkSource source(api, entry.id);
    return DownloadGameFileFrom(entry, source, progress);
}

bool DownloadGameFileFrom(const HashEntry& entry,
                          GameFileChunkSource& source,
                          const ProgressCallback& progress) {
    RequireSafeEntryPath(entry.path);
    const std::wstring pathW = EntryWidePath(entry);
    // Failures here show up as the open failing just below.
    (void)EnsureParentDirectories(pathW);
    std::optional<File> file = File::OpenWrite(pathW);
    if (!file)
        throw std::runtime_error("Cannot create local file: " + entry.path);
    std::uint32_t written = 0;
    for (;;) {
        bool last = false;
        const std::uint64_t length = source.Fetch(written, last);
        if (length > 0) {
            // Offsets travel as 32-bit numbers; a bigger file would wrap and fetch the start again.
            if (length > std::numeric_limits<std::uint32_t>::max() - written)
                throw std::runtime_error("File too large: " + entry.path);
            if (!source.WriteTo(*file))
                throw std::runtime_error("Failed writing file: " + entry.path);
            written += static_cast<std::uint32_t>(length);
        }
        if (progress)
            progress(L"Repairing " + pathW, DownloadPercent(written, entry.size));
        if (length == 0 && !last)
            throw std::runtime_error("Server returned empty chunk: " + entry.path);
        if (last) {
            (void)file->Close();
            return true;
        }
    }
}

}  // namespace ombrelta
