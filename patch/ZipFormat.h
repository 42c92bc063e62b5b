#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The zip records that extraction needs, decoded from raw bytes. Every function checks the
// bytes it is given and the offsets it returns against the file size; none of them does I/O.

namespace ombrelta::zip {

/// Size of the end-of-central-directory record without its comment.
inline constexpr std::uint64_t kEndRecordSize = 22;
/// How far from the end of the file the end record may start: the record plus the longest comment.
inline constexpr std::uint64_t kEndSearchSize = kEndRecordSize + 0xFFFF;
/// Size of the ZIP64 end-of-central-directory locator, which lies just before the end record.
inline constexpr std::uint64_t kZip64LocatorSize = 20;
/// Size of the fixed part of the ZIP64 end-of-central-directory record.
inline constexpr std::uint64_t kZip64EndRecordSize = 56;
/// Size of a central directory header without its name, extra field and comment.
inline constexpr std::uint64_t kCentralHeaderSize = 46;
/// Size of a local file header without its name and extra field.
inline constexpr std::uint64_t kLocalHeaderSize = 30;

/// Compression methods that can be extracted.
inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflate = 8;
/// General purpose flag bit of an encrypted entry.
inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
/// General purpose flag bit of an entry whose name (and comment) is UTF-8.
inline constexpr std::uint16_t kFlagUtf8Name = 0x0800;
/// The DOS directory attribute in the low byte of the external attributes.
inline constexpr std::uint32_t kDosDirectoryAttribute = 0x10;

/// Where the central directory lies and how many entries it holds.
struct DirectoryLocation {
    std::uint64_t entryCount = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

/// The end record found near the end of the file.
struct EndRecord {
    /// Offset of the record in the file.
    std::uint64_t position = 0;
    /// The directory as the classic record describes it; a ZIP64 record, when there is one,
    /// holds the real values instead.
    DirectoryLocation directory;
    /// False when the classic record describes a multi-disk archive.
    bool singleDisk = true;
};

/// One central directory entry; the name is a slice of the directory bytes.
struct Entry {
    std::uint64_t nameOffset = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t externalAttributes = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint64_t localHeaderOffset = 0;
};

/// How an end record's comment must meet the end of the file.
enum class CommentFit { EndsTheFile, WithinTheFile };

/// Searches tail, the last bytes of a file of fileSize bytes, backwards from the file offset
/// before (exclusive) for an end record whose comment fits as asked. Nothing when there is none.
std::optional<EndRecord> FindEndRecord(std::span<const std::uint8_t> tail,
                                       std::uint64_t fileSize,
                                       std::uint64_t before,
                                       CommentFit fit);

/// Offset of the ZIP64 end record named by a locator, or nothing when the bytes are no locator.
std::optional<std::uint64_t> ParseZip64Locator(std::span<const std::uint8_t> locator);

/// Decodes a ZIP64 end record; nothing when the bytes are not one or describe several disks.
std::optional<DirectoryLocation> ParseZip64EndRecord(std::span<const std::uint8_t> record);

/// True when the directory lies inside the first directoryEnd bytes of the file and its bytes
/// can hold entryCount headers.
bool IsPlausibleDirectory(const DirectoryLocation& directory, std::uint64_t directoryEnd);

/// Decodes entryCount central headers from the directory bytes. Nothing when a header is damaged,
/// runs past the directory, or names data outside the first dataEnd bytes of the file.
std::optional<std::vector<Entry>> ParseCentralDirectory(std::span<const std::uint8_t> directory,
                                                        std::uint64_t entryCount,
                                                        std::uint64_t dataEnd);

/// Offset of an entry's data from the fixed part of its local header, found at entry.localHeaderOffset:
/// nothing when the header is damaged or the data does not end within the first dataEnd bytes.
std::optional<std::uint64_t> LocalDataOffset(std::span<const std::uint8_t> header,
                                             const Entry& entry,
                                             std::uint64_t dataEnd);

}  // namespace ombrelta::zip
