#include "patch/ZipReader.h"

#include <algorithm>
#include <limits>
#include <new>
#include <optional>
#include <vector>

#include "common/FailureNote.h"
#include "common/FileSystem.h"
#include "common/Path.h"
#include "common/Text.h"
#include "patch/ZipEntryStream.h"
#include "patch/ZipFormat.h"

namespace ombrelta {
namespace {

bool ReadAt(File& file, std::uint64_t offset, std::vector<std::uint8_t>& bytes) {
    return file.Seek(offset) && zip::ReadFully(file, bytes.data(), bytes.size());
}

std::optional<zip::DirectoryLocation> ReadZip64Location(File& file, std::uint64_t endPosition) {
    std::vector<std::uint8_t> locator(zip::kZip64LocatorSize);
    const std::uint64_t locatorPosition = endPosition - zip::kZip64LocatorSize;
    if (!ReadAt(file, locatorPosition, locator))
        return std::nullopt;
    const std::optional<std::uint64_t> recordOffset = zip::ParseZip64Locator(locator);
    if (!recordOffset || *recordOffset > locatorPosition ||
        locatorPosition - *recordOffset < zip::kZip64EndRecordSize)
        return std::nullopt;
    std::vector<std::uint8_t> record(zip::kZip64EndRecordSize);
    if (!ReadAt(file, *recordOffset, record))
        return std::nullopt;
    std::optional<zip::DirectoryLocation> location = zip::ParseZip64EndRecord(record);
    if (!location || !zip::IsPlausibleDirectory(*location, *recordOffset))
        return std::nullopt;
    return location;
}

// True when the ZIP64 locator's signature sits just before the end record.
bool HasZip64Locator(File& file, std::uint64_t endPosition) {
    if (endPosition < zip::kZip64LocatorSize)
        return false;
    std::vector<std::uint8_t> locator(zip::kZip64LocatorSize);
    return ReadAt(file, endPosition - zip::kZip64LocatorSize, locator) &&
           zip::ParseZip64Locator(locator).has_value();
}

std::optional<zip::DirectoryLocation> DirectoryOf(File& file, const zip::EndRecord& end) {
    if (HasZip64Locator(file, end.position))
        return ReadZip64Location(file, end.position);
    if (!end.singleDisk || !zip::IsPlausibleDirectory(end.directory, end.position))
        return std::nullopt;
    return end.directory;
}

std::optional<zip::DirectoryLocation> LocateDirectory(File& file, std::uint64_t fileSize) {
    if (fileSize < zip::kEndRecordSize)
        return std::nullopt;
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(std::min(fileSize, zip::kEndSearchSize)));
    if (!ReadAt(file, fileSize - tail.size(), tail))
        return std::nullopt;
    // An archive comment may itself hold the signature. The real record is the last one that
    // describes a directory, preferably one whose comment ends the file; some writers leave
    // bytes after it, so any record that fits comes next.
    for (const zip::CommentFit fit : {zip::CommentFit::EndsTheFile, zip::CommentFit::WithinTheFile}) {
        std::uint64_t before = fileSize;
        while (const std::optional<zip::EndRecord> end = zip::FindEndRecord(tail, fileSize, before, fit)) {
            if (std::optional<zip::DirectoryLocation> directory = DirectoryOf(file, *end))
                return directory;
            before = end->position;
        }
    }
    return std::nullopt;
}

struct LoadedDirectory {
    std::vector<std::uint8_t> bytes;
    std::vector<zip::Entry> entries;
};

// Reads and decodes the central directory; nothing when it is damaged or cannot be held in
// memory on this host (its size is only known to lie within the file).
std::optional<LoadedDirectory> LoadDirectory(File& file, const zip::DirectoryLocation& location) {
    if (location.size > std::numeric_limits<std::size_t>::max() / 4 ||
        location.entryCount > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    try {
        LoadedDirectory directory;
        directory.bytes.resize(static_cast<std::size_t>(location.size));
        if (!ReadAt(file, location.offset, directory.bytes))
            return std::nullopt;
        std::optional<std::vector<zip::Entry>> entries =
            zip::ParseCentralDirectory(directory.bytes, location.entryCount, location.offset);
        if (!entries)
            return std::nullopt;
        directory.entries = std::move(*entries);
        return directory;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

bool IsExtractable(const zip::Entry& entry) {
    if (entry.flags & zip::kFlagEncrypted)
        return false;
    if (entry.method == zip::kMethodStored)
        return entry.compressedSize == entry.uncompressedSize;
    return entry.method == zip::kMethodDeflate;
}

}  // namespace

struct ZipReader::Archive {
    File file;
    // Entries and their data lie before this offset, where the central directory starts.
    std::uint64_t dataEnd = 0;
    std::vector<std::uint8_t> directory;
    std::vector<zip::Entry> entries;
    zip::StreamBuffers buffers;
};

ZipReader::ZipReader() = default;
ZipReader::~ZipReader() = default;

bool ZipReader::Open(const std::string& pathUtf8) {
    Close();
    const std::wstring pathW = Utf8ToWide(pathUtf8);
    if (pathW.empty())
        return false;
    std::optional<File> file = File::OpenRead(pathW);
    const std::optional<std::uint64_t> fileSize = GetFileSize(pathW);
    if (!file || !fileSize)
        return false;
    const std::optional<zip::DirectoryLocation> location = LocateDirectory(*file, *fileSize);
    if (!location)
        return false;
    std::optional<LoadedDirectory> directory = LoadDirectory(*file, *location);
    if (!directory)
        return false;
    archive.reset(new Archive{.file = std::move(*file),
                              .dataEnd = location->offset,
                              .directory = std::move(directory->bytes),
                              .entries = std::move(directory->entries),
                              .buffers = {}});
    return true;
}

std::uint32_t ZipReader::EntryCount() const {
    return archive ? static_cast<std::uint32_t>(archive->entries.size()) : 0;
}

bool ZipReader::EntryName(std::uint32_t i, std::string& name) const {
    if (i >= EntryCount())
        return false;
    const zip::Entry& entry = archive->entries[i];
    const auto* first = archive->directory.data() + entry.nameOffset;
    name.assign(first, first + entry.nameLength);
    return true;
}

bool ZipReader::HasUtf8Name(std::uint32_t i) const {
    return i < EntryCount() && (archive->entries[i].flags & zip::kFlagUtf8Name) != 0;
}

bool ZipReader::IsDirectory(std::uint32_t i) const {
    if (i >= EntryCount())
        return false;
    const zip::Entry& entry = archive->entries[i];
    if (entry.externalAttributes & zip::kDosDirectoryAttribute)
        return true;
    if (entry.nameLength == 0)
        return false;
    return IsSeparator(archive->directory[entry.nameOffset + entry.nameLength - 1]);
}

std::optional<DeclaredData> ZipReader::Declared(std::uint32_t i) const {
    if (i >= EntryCount())
        return std::nullopt;
    const zip::Entry& entry = archive->entries[i];
    return DeclaredData{.size = entry.uncompressedSize, .crc32 = entry.crc32};
}

bool ZipReader::SeekToData(std::uint32_t i) {
    const zip::Entry& entry = archive->entries[i];
    if (!IsExtractable(entry))
        return false;
    std::vector<std::uint8_t> header(zip::kLocalHeaderSize);
    if (!ReadAt(archive->file, entry.localHeaderOffset, header))
        return false;
    const std::optional<std::uint64_t> dataOffset = zip::LocalDataOffset(header, entry, archive->dataEnd);
    return dataOffset && archive->file.Seek(*dataOffset);
}

bool ZipReader::ExtractToFile(std::uint32_t i, const std::string& pathUtf8) {
    if (i >= EntryCount() || IsDirectory(i) || !SeekToData(i))
        return false;
    const std::wstring pathW = Utf8ToWide(pathUtf8);
    if (pathW.empty())
        return false;
    std::optional<File> target = File::OpenWrite(pathW);
    if (!target) {
        NoteFailure("cannot create " + pathUtf8 + ": " + SystemErrorText());
        return false;
    }
    const zip::Entry& entry = archive->entries[i];
    const auto cannotWrite = [&] {
        NoteFailure("cannot write " + pathUtf8 + ": " + SystemErrorText());
        return false;
    };
    const auto write = [&](const std::uint8_t* data, std::size_t size) {
        return target->Write(data, size) || cannotWrite();
    };
    if (!zip::StreamEntryData(archive->file, write, entry, archive->buffers)) {
        target->Close();
        return false;
    }
    // The entry's content is what matters; a time the file system cannot take is not a failure.
    (void)target->SetModifiedTime(DosDateTime{.date = entry.dosDate, .time = entry.dosTime});
    return target->Close() || cannotWrite();
}

bool ZipReader::ReadEntry(std::uint32_t i, const EntrySink& sink) {
    if (i >= EntryCount() || !SeekToData(i))
        return false;
    return zip::StreamEntryData(archive->file, sink, archive->entries[i], archive->buffers);
}

void ZipReader::Close() {
    archive.reset();
}

}  // namespace ombrelta
