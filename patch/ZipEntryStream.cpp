#include "patch/ZipEntryStream.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <zlib.h>

#include "common/FailureNote.h"

namespace ombrelta::zip {
namespace {

// Counts and checksums what reaches the target, and refuses output beyond the declared size
// before it is passed on.
class CheckedSink {
public:
    CheckedSink(const ByteSink& target, std::uint64_t expectedSize) : target(target), remaining(expectedSize) {}

    bool Put(const std::uint8_t* data, std::size_t size) {
        if (size > remaining)
            return false;
        remaining -= size;
        crc = crc32(crc, data, static_cast<uInt>(size));
        targetRefused = !target(data, size);
        return !targetRefused;
    }

    // The target refused data: it notes its own cause (a write failure, a damaged delta frame).
    bool TargetRefused() const { return targetRefused; }

    // The check that fails is noted with what it found.
    bool Matches(std::uint64_t expectedSize, std::uint32_t expectedCrc) const {
        if (remaining != 0) {
            NoteFailure("size expected " + std::to_string(expectedSize) + ", found " +
                        std::to_string(expectedSize - remaining));
            return false;
        }
        if (crc == expectedCrc)
            return true;
        char text[64];
        std::snprintf(text, sizeof text, "CRC-32 expected %08x, found %08x", static_cast<unsigned>(expectedCrc),
                      static_cast<unsigned>(crc));
        NoteFailure(text);
        return false;
    }

private:
    const ByteSink& target;
    std::uint64_t remaining;
    uLong crc = crc32(0, Z_NULL, 0);
    bool targetRefused = false;
};

// Fills buffer with the next piece of the entry's compressed bytes; 0 when none are left or
// the file cannot give them.
std::size_t ReadPiece(File& source, std::vector<std::uint8_t>& buffer, std::uint64_t& remaining) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, buffer.size()));
    if (piece == 0 || !ReadFully(source, buffer.data(), piece))
        return 0;
    remaining -= piece;
    return piece;
}

bool CopyStored(File& source, CheckedSink& sink, std::uint64_t size, StreamBuffers& buffers) {
    std::uint64_t remaining = size;
    while (remaining > 0) {
        const std::size_t piece = ReadPiece(source, buffers.in, remaining);
        if (piece == 0 || !sink.Put(buffers.in.data(), piece))
            return false;
    }
    return true;
}

// Owns a raw-deflate inflater.
class Inflater {
public:
    Inflater() { ok = inflateInit2(&stream, -MAX_WBITS) == Z_OK; }
    ~Inflater() {
        if (ok)
            inflateEnd(&stream);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    z_stream stream{};
    bool ok = false;
};

bool Inflate(File& source, CheckedSink& sink, std::uint64_t compressedSize, StreamBuffers& buffers) {
    Inflater inflater;
    if (!inflater.ok)
        return false;
    z_stream& z = inflater.stream;
    std::uint64_t remaining = compressedSize;
    for (;;) {
        if (z.avail_in == 0 && remaining > 0) {
            const std::size_t piece = ReadPiece(source, buffers.in, remaining);
            if (piece == 0)
                return false;
            z.next_in = buffers.in.data();
            z.avail_in = static_cast<uInt>(piece);
        }
        z.next_out = buffers.out.data();
        z.avail_out = static_cast<uInt>(buffers.out.size());
        const int status = inflate(&z, Z_NO_FLUSH);
        const std::size_t produced = buffers.out.size() - z.avail_out;
        if (produced > 0 && !sink.Put(buffers.out.data(), produced))
            return false;
        if (status == Z_STREAM_END)
            return true;
        // Z_BUF_ERROR here means the compressed bytes ran out before the stream ended.
        if (status != Z_OK)
            return false;
    }
}

}  // namespace

bool ReadFully(File& file, void* buffer, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    while (size > 0) {
        const std::optional<std::size_t> got = file.Read(bytes, size);
        if (!got || *got == 0)
            return false;
        bytes += *got;
        size -= *got;
    }
    return true;
}

bool StreamEntryData(File& source, const ByteSink& target, const Entry& entry, StreamBuffers& buffers) {
    CheckedSink sink(target, entry.uncompressedSize);
    bool complete = false;
    if (entry.method == kMethodStored) {
        complete = entry.compressedSize == entry.uncompressedSize &&
                   CopyStored(source, sink, entry.compressedSize, buffers);
    } else if (entry.method == kMethodDeflate) {
        // Some writers store an empty file as a deflate entry without any compressed bytes.
        complete = entry.compressedSize == 0 || Inflate(source, sink, entry.compressedSize, buffers);
    }
    if (!complete) {
        if (!sink.TargetRefused())
            NoteFailure(entry.method == kMethodStored || entry.method == kMethodDeflate
                            ? "the entry's data is damaged or cannot be read"
                            : "compression method " + std::to_string(entry.method) + " is not supported");
        return false;
    }
    return sink.Matches(entry.uncompressedSize, entry.crc32);
}

}  // namespace ombrelta::zip
