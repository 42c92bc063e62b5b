#include "patch/ZipFormat.h"

#include <algorithm>

#include "common/LittleEndian.h"

namespace ombrelta::zip {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint16_t kSaturated16 = 0xFFFF;
constexpr std::uint32_t kSaturated32 = 0xFFFFFFFF;

// Short names for a file full of records. Callers check the length of the span before reading a
// fixed-size record from it.
constexpr auto Le16 = LoadLittleEndian<std::uint16_t>;
constexpr auto Le32 = LoadLittleEndian<std::uint32_t>;
constexpr auto Le64 = LoadLittleEndian<std::uint64_t>;

// a + b <= limit, without overflow.
bool FitsWithin(std::uint64_t a, std::uint64_t b, std::uint64_t limit) {
    return a <= limit && b <= limit - a;
}

EndRecord DecodeEndRecord(std::span<const std::uint8_t> r, std::uint64_t position) {
    const std::uint16_t entries = Le16(r, 10);
    return EndRecord{
        .position = position,
        .directory = {.entryCount = entries, .offset = Le32(r, 16), .size = Le32(r, 12)},
        .singleDisk = Le16(r, 4) == 0 && Le16(r, 6) == 0 && Le16(r, 8) == entries,
    };
}

// The values of the ZIP64 extra field that replace the saturated fields of a central header,
// in the fixed order the format gives them; false when the field is missing or too short.
bool ApplyZip64Extra(std::span<const std::uint8_t> extra, std::uint32_t startDisk, Entry& entry) {
    std::size_t at = 0;
    while (extra.size() - at >= 4) {
        const std::uint16_t id = Le16(extra, at);
        const std::uint16_t length = Le16(extra, at + 2);
        at += 4;
        if (length > extra.size() - at)
            return false;
        if (id != kZip64ExtraId) {
            at += length;
            continue;
        }
        std::span<const std::uint8_t> field = extra.subspan(at, length);
        std::size_t used = 0;
        for (std::uint64_t* value :
             {&entry.uncompressedSize, &entry.compressedSize, &entry.localHeaderOffset}) {
            if (*value != kSaturated32)
                continue;
            if (field.size() - used < 8)
                return false;
            *value = Le64(field, used);
            used += 8;
        }
        return startDisk != kSaturated16 || field.size() - used >= 4;
    }
    return false;
}

bool NeedsZip64Extra(const Entry& entry, std::uint16_t startDisk) {
    return entry.uncompressedSize == kSaturated32 || entry.compressedSize == kSaturated32 ||
           entry.localHeaderOffset == kSaturated32 || startDisk == kSaturated16;
}

// Decodes the header at the start of bytes; returns its whole length (with name, extra field and
// comment), or 0 when it is damaged or longer than bytes.
std::size_t DecodeCentralHeader(std::span<const std::uint8_t> bytes,
                                std::uint64_t headerOffset,
                                Entry& entry) {
    if (bytes.size() < kCentralHeaderSize || Le32(bytes, 0) != kCentralSignature)
        return 0;
    const std::size_t nameLength = Le16(bytes, 28);
    const std::size_t extraLength = Le16(bytes, 30);
    const std::size_t commentLength = Le16(bytes, 32);
    const std::size_t total = kCentralHeaderSize + nameLength + extraLength + commentLength;
    if (total > bytes.size())
        return 0;
    entry.flags = Le16(bytes, 8);
    entry.method = Le16(bytes, 10);
    entry.dosTime = Le16(bytes, 12);
    entry.dosDate = Le16(bytes, 14);
    entry.crc32 = Le32(bytes, 16);
    entry.compressedSize = Le32(bytes, 20);
    entry.uncompressedSize = Le32(bytes, 24);
    entry.externalAttributes = Le32(bytes, 38);
    entry.localHeaderOffset = Le32(bytes, 42);
    entry.nameOffset = headerOffset + kCentralHeaderSize;
    entry.nameLength = static_cast<std::uint16_t>(nameLength);
    const std::uint16_t startDisk = Le16(bytes, 34);
    if (NeedsZip64Extra(entry, startDisk) &&
        !ApplyZip64Extra(bytes.subspan(kCentralHeaderSize + nameLength, extraLength), startDisk, entry))
        return 0;
    return total;
}

}  // namespace

std::optional<EndRecord> FindEndRecord(std::span<const std::uint8_t> tail,
                                       std::uint64_t fileSize,
                                       std::uint64_t before,
                                       CommentFit fit) {
    if (tail.size() < kEndRecordSize || tail.size() > fileSize)
        return std::nullopt;
    const std::uint64_t tailStart = fileSize - tail.size();
    if (before <= tailStart)
        return std::nullopt;
    const std::uint64_t limit = std::min<std::uint64_t>(before - tailStart, tail.size() - kEndRecordSize + 1);
    // Up to 64 KiB are searched byte by byte; testing one byte first keeps that cheap.
    for (std::size_t at = static_cast<std::size_t>(limit); at-- > 0;) {
        if (tail[at] != (kEndSignature & 0xFF) || Le32(tail, at) != kEndSignature)
            continue;
        const std::size_t room = tail.size() - at - kEndRecordSize;
        const std::uint16_t commentLength = Le16(tail, at + 20);
        if (commentLength > room || (fit == CommentFit::EndsTheFile && commentLength != room))
            continue;
        return DecodeEndRecord(tail.subspan(at), tailStart + at);
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ParseZip64Locator(std::span<const std::uint8_t> locator) {
    if (locator.size() < kZip64LocatorSize || Le32(locator, 0) != kZip64LocatorSignature)
        return std::nullopt;
    if (Le32(locator, 4) != 0 || Le32(locator, 16) > 1)
        return std::nullopt;
    return Le64(locator, 8);
}

std::optional<DirectoryLocation> ParseZip64EndRecord(std::span<const std::uint8_t> record) {
    if (record.size() < kZip64EndRecordSize || Le32(record, 0) != kZip64EndSignature)
        return std::nullopt;
    const std::uint64_t entriesOnDisk = Le64(record, 24);
    const std::uint64_t entries = Le64(record, 32);
    if (Le32(record, 16) != 0 || Le32(record, 20) != 0 || entriesOnDisk != entries)
        return std::nullopt;
    return DirectoryLocation{.entryCount = entries, .offset = Le64(record, 48), .size = Le64(record, 40)};
}

bool IsPlausibleDirectory(const DirectoryLocation& directory, std::uint64_t directoryEnd) {
    if (!FitsWithin(directory.offset, directory.size, directoryEnd))
        return false;
    return directory.entryCount <= directory.size / kCentralHeaderSize;
}

std::optional<std::vector<Entry>> ParseCentralDirectory(std::span<const std::uint8_t> directory,
                                                        std::uint64_t entryCount,
                                                        std::uint64_t dataEnd) {
    if (entryCount > directory.size() / kCentralHeaderSize)
        return std::nullopt;
    std::vector<Entry> entries(static_cast<std::size_t>(entryCount));
    std::size_t at = 0;
    for (Entry& entry : entries) {
        const std::size_t length = DecodeCentralHeader(directory.subspan(at), at, entry);
        if (length == 0)
            return std::nullopt;
        if (!FitsWithin(entry.localHeaderOffset, kLocalHeaderSize, dataEnd))
            return std::nullopt;
        at += length;
    }
    return entries;
}

std::optional<std::uint64_t> LocalDataOffset(std::span<const std::uint8_t> header,
                                             const Entry& entry,
                                             std::uint64_t dataEnd) {
    if (header.size() < kLocalHeaderSize || Le32(header, 0) != kLocalSignature)
        return std::nullopt;
    const std::uint64_t variable = static_cast<std::uint64_t>(Le16(header, 26)) + Le16(header, 28);
    if (!FitsWithin(entry.localHeaderOffset, kLocalHeaderSize + variable, dataEnd))
        return std::nullopt;
    const std::uint64_t dataOffset = entry.localHeaderOffset + kLocalHeaderSize + variable;
    if (!FitsWithin(dataOffset, entry.compressedSize, dataEnd))
        return std::nullopt;
    return dataOffset;
}

}  // namespace ombrelta::zip
