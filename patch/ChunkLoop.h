#pragma once

#include <cstdint>
#include <limits>

#include "patch/FileDownload.h"

namespace ombrelta {

enum class ChunkLoopStatus {
    Complete,
    WriteFailed,
    EmptyChunk,         // an empty chunk without the last flag
    PastOffsetRange,    // the next offset would not fit the 32-bit offset of a chunk request
    PastAnnouncedSize,  // more bytes than the announced total
};

/// The chunk loop of a download: asks fetch(offset, last) for the chunk at each offset until one is
/// marked last and hands each non-empty chunk to write. Anything with size() serves as a chunk, so
/// the size arithmetic can be exercised without the bytes. Exceptions of fetch, write and progress
/// pass through; written holds the bytes accepted so far.
template <class Fetch, class Write>
ChunkLoopStatus RunChunkLoop(std::uint32_t totalSize, Fetch& fetch, Write& write,
                             const DownloadProgress& progress, std::uint32_t& written) {
    written = 0;
    bool last = false;
    while (!last) {
        const auto chunk = fetch(written, last);
        const std::uint64_t size = chunk.size();
        if (size != 0) {
            // Past this point the next request's offset would wrap to the start of the file.
            if (written + size > std::numeric_limits<std::uint32_t>::max())
                return ChunkLoopStatus::PastOffsetRange;
            if (!write(chunk))
                return ChunkLoopStatus::WriteFailed;
            written += static_cast<std::uint32_t>(size);
        }
        if (size == 0 && !last)
            return ChunkLoopStatus::EmptyChunk;
        if (progress)
            progress(written, totalSize);
        if (totalSize != 0 && written > totalSize)
            return ChunkLoopStatus::PastAnnouncedSize;
    }
    return ChunkLoopStatus::Complete;
}

}  // namespace ombrelta
