#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/FileSystem.h"
#include "patch/ZipFormat.h"

namespace ombrelta::zip {

/// Size of each of the two buffers an entry streams through.
inline constexpr std::size_t kStreamBufferSize = 64 * 1024;

/// The fixed buffers reused for every entry, so memory stays the same whatever the entry size.
struct StreamBuffers {
    std::vector<std::uint8_t> in = std::vector<std::uint8_t>(kStreamBufferSize);
    std::vector<std::uint8_t> out = std::vector<std::uint8_t>(kStreamBufferSize);
};

/// Reads exactly size bytes; false on an error or when the file ends first.
bool ReadFully(File& file, void* buffer, std::size_t size);

/// Takes the next piece of an entry's data; false stops the stream as a failure.
using ByteSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

/// Streams the entry's data, which starts at the current position of source, into sink,
/// copying a stored entry or inflating a deflated one. True only when exactly the declared
/// number of bytes came out with the declared CRC-32; output beyond the declared size never
/// reaches the sink. False also for a method other than stored or deflate.
bool StreamEntryData(File& source, const ByteSink& sink, const Entry& entry, StreamBuffers& buffers);

}  // namespace ombrelta::zip
