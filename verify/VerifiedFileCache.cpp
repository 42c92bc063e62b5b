#include "verify/VerifiedFileCache.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <utility>

#include "common/DigestHasher.h"
#include "protocol/PacketReader.h"
#include "protocol/PacketWriter.h"

namespace ombrelta {
namespace {

// Layout: magic, version, record count, the records, then the MD5 of everything before it, so
// that a damaged or cut file is told apart from a valid one with fewer records.
constexpr std::uint32_t kMagic = 0x4346564F;  // "OVFC"
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kMaxFileBytes = 128 * 1024;
constexpr std::size_t kMd5Bytes = 16;
// Texts are stored with a length byte, as the hash list carries them.
constexpr std::size_t kMaxTextBytes = 255;

void WriteUInt64(PacketWriter& writer, std::uint64_t value) {
    writer.WriteUInt32(static_cast<std::uint32_t>(value));
    writer.WriteUInt32(static_cast<std::uint32_t>(value >> 32));
}

std::uint64_t ReadUInt64(PacketReader& reader) {
    const std::uint64_t low = reader.ReadUInt32();
    return low | (std::uint64_t{reader.ReadUInt32()} << 32);
}

bool WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    std::optional<File> file = File::OpenWrite(path);
    if (!file)
        return false;
    const bool written = file->Write(bytes.data(), bytes.size());
    return file->Close() && written;
}

}  // namespace

VerifiedFileCache VerifiedFileCache::Load(const std::wstring& path) {
    VerifiedFileCache cache(path);
    std::optional<FileStamp> stamp = GetFileStamp(path);
    std::optional<std::string> bytes = stamp ? ReadSmallFile(path, kMaxFileBytes) : std::nullopt;
    if (!bytes)
        return cache;
    try {
        cache.Parse(std::vector<std::uint8_t>(bytes->begin(), bytes->end()), stamp->writeTime);
    } catch (const std::runtime_error&) {
        cache.records.clear();
    }
    return cache;
}

void VerifiedFileCache::Parse(std::vector<std::uint8_t> bytes, std::int64_t fileWriteTime) {
    if (bytes.size() < kMd5Bytes)
        throw std::runtime_error("Cache file too short");
    const std::size_t body = bytes.size() - kMd5Bytes;
    std::optional<Md5Digest> digest = Md5Hasher::Of(std::span(bytes).first(body));
    if (!digest || !std::equal(digest->begin(), digest->end(), bytes.begin() + body))
        throw std::runtime_error("Cache file damaged");
    bytes.resize(body);
    PacketReader reader(std::move(bytes));
    if (reader.ReadUInt32() != kMagic || reader.ReadUInt32() != kVersion)
        throw std::runtime_error("Unknown cache file");
    const std::uint32_t count = reader.ReadUInt32();
    if (count > kMaxRecords)
        throw std::runtime_error("Cache file too long");
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string entryPath = reader.ReadString(reader.ReadByte());
        Record record;
        record.stamp.size = ReadUInt64(reader);
        record.stamp.writeTime = static_cast<std::int64_t>(ReadUInt64(reader));
        record.stamp.volume = ReadUInt64(reader);
        record.stamp.fileIndex = ReadUInt64(reader);
        record.md5 = reader.ReadString(reader.ReadByte());
        // Written in the same clock tick as the cache file, the game file could have changed
        // again after it was read without its time showing it.
        if (record.stamp.writeTime < fileWriteTime)
            records[std::move(entryPath)] = std::move(record);
    }
    if (reader.Remaining() != 0)
        throw std::runtime_error("Cache file too long");
}

bool VerifiedFileCache::Trusts(const HashEntry& entry, const std::optional<FileStamp>& stamp) const {
    auto found = records.find(entry.path);
    if (!stamp || found == records.end())
        return false;
    const Record& record = found->second;
    return stamp->size == entry.size && record.stamp == *stamp && SameMd5Text(record.md5, entry.hash);
}

void VerifiedFileCache::RecordIfIntact(const HashEntry& entry, const HashedFile& hashed) {
    const std::optional<FileStamp>& stamp = hashed.stampBefore;
    const bool storable = entry.path.size() <= kMaxTextBytes && hashed.md5.size() <= kMaxTextBytes;
    if (!storable || !stamp || stamp->size != entry.size || hashed.md5.empty() ||
        !SameMd5Text(hashed.md5, entry.hash)) {
        Forget(entry);
        return;
    }
    records[entry.path] = Record{.stamp = *stamp, .md5 = hashed.md5};
}

void VerifiedFileCache::Forget(const HashEntry& entry) {
    records.erase(entry.path);
}

void VerifiedFileCache::KeepOnly(const std::vector<HashEntry>& entries) {
    std::set<std::string> listed;
    for (const HashEntry& entry : entries)
        listed.insert(entry.path);
    std::erase_if(records, [&](const auto& record) { return !listed.contains(record.first); });
}

std::optional<std::vector<std::uint8_t>> VerifiedFileCache::Serialize() const {
    if (records.size() > kMaxRecords)
        return std::nullopt;
    PacketWriter writer;
    writer.WriteUInt32(kMagic);
    writer.WriteUInt32(kVersion);
    writer.WriteUInt32(static_cast<std::uint32_t>(records.size()));
    for (const auto& [entryPath, record] : records) {
        writer.WriteString(entryPath);
        WriteUInt64(writer, record.stamp.size);
        WriteUInt64(writer, static_cast<std::uint64_t>(record.stamp.writeTime));
        WriteUInt64(writer, record.stamp.volume);
        WriteUInt64(writer, record.stamp.fileIndex);
        writer.WriteString(record.md5);
    }
    std::vector<std::uint8_t> bytes = writer.Take();
    std::optional<Md5Digest> digest = Md5Hasher::Of(bytes);
    if (!digest)
        return std::nullopt;
    bytes.insert(bytes.end(), digest->begin(), digest->end());
    return bytes;
}

bool VerifiedFileCache::Save() const {
    std::optional<std::vector<std::uint8_t>> bytes = Serialize();
    if (!bytes)
        return false;
    const std::wstring temporary = path + L".tmp";
    if (WriteWholeFile(temporary, *bytes) && RenameFileReplacing(temporary, path))
        return true;
    (void)DeleteFileAt(temporary);
    return false;
}

}  // namespace ombrelta
