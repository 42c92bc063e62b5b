#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ombrelta {

/// Takes the next piece of an entry's data; false stops reading as a failure.
using EntrySink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

/// What the central directory declares about an entry's data.
struct DeclaredData {
    std::uint64_t size = 0;
    std::uint32_t crc32 = 0;
};

/// Reads a zip archive (stored and deflate entries, data descriptors, ZIP64) from a file.
/// Nothing read from the archive is trusted: a damaged archive fails cleanly.
class ZipReader {
public:
    ZipReader();
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    /// Opens the archive at a UTF-8 path and reads its central directory, closing any archive
    /// opened before; false when it is not a readable single-disk zip archive or its directory
    /// is damaged (every size and offset is checked against the file).
    bool Open(const std::string& pathUtf8);
    /// Number of entries of the open archive (0 when none is open).
    std::uint32_t EntryCount() const;
    /// The stored name bytes of entry i; false when i is out of range.
    bool EntryName(std::uint32_t i, std::string& name) const;
    /// True when entry i's flags mark its name as UTF-8; false also when i is out of range.
    bool HasUtf8Name(std::uint32_t i) const;
    /// True when entry i is a directory: its name ends with '/' or, as Windows tools write it,
    /// with '\', or it has the DOS directory attribute.
    bool IsDirectory(std::uint32_t i) const;
    /// Uncompressed size and CRC-32 of entry i; nothing when i is out of range.
    std::optional<DeclaredData> Declared(std::uint32_t i) const;
    /// Writes entry i to a file at a UTF-8 path (created or truncated), checks its size and
    /// CRC-32 and sets the file's time from the entry's DOS date and time (local time). False on
    /// any failure: a directory entry, an encrypted entry, a method other than stored or deflate
    /// or a damaged local header fail before the file is touched; damaged data, a wrong size or
    /// CRC-32 fail after the file was created or truncated. Output beyond the declared size is
    /// never written. Memory use does not depend on the entry's size. The cause of a failure of
    /// the data or the file is noted (NoteFailure): the check that failed with what it found, or
    /// the system's error for the file that cannot be created or written.
    bool ExtractToFile(std::uint32_t i, const std::string& pathUtf8);
    /// Streams entry i's data (a directory entry's too) into sink with the checks of
    /// ExtractToFile; false on the same failures and when the sink refuses a piece, whose cause
    /// the sink notes itself.
    bool ReadEntry(std::uint32_t i, const EntrySink& sink);
    /// Ends the reader; harmless when nothing is open.
    void Close();

private:
    // Positions the file at entry i's data; false when the entry cannot be read.
    bool SeekToData(std::uint32_t i);

    struct Archive;
    std::unique_ptr<Archive> archive;
};

}  // namespace ombrelta
