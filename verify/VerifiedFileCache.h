#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/FileSystem.h"
#include "protocol/HashEntry.h"
#include "verify/FileHash.h"

namespace ombrelta {

/// The game files a check found intact, kept between runs in one file so that a later check
/// can trust a file without reading it while its size, last-write time and identity are those
/// recorded and the hash list still gives the recorded MD5. A file changed with its size and
/// time put back by hand is therefore trusted until the cache file is deleted.
class VerifiedFileCache {
public:
    /// Most records a cache file may hold: one per entry of the longest hash list.
    static constexpr std::size_t kMaxRecords = 255;

    /// Reads the cache file at path. A missing, unreadable, damaged, truncated or unknown file
    /// gives an empty cache, as does any record written no earlier than the file itself (its
    /// file may have changed again within the clock's resolution). Never fails.
    static VerifiedFileCache Load(const std::wstring& path);

    /// True when the entry's file, stamped now as stamp, carries exactly the recorded stamp with
    /// the entry's size and the entry's MD5 text equals the recorded one (letter case aside).
    bool Trusts(const HashEntry& entry, const std::optional<FileStamp>& stamp) const;
    /// Records the entry's file when its digest equals the entry's MD5 and its stamp (with the
    /// entry's size) is known; forgets the entry's path otherwise.
    void RecordIfIntact(const HashEntry& entry, const HashedFile& hashed);
    /// Forgets the record of the entry's path, if any.
    void Forget(const HashEntry& entry);
    /// Forgets every record whose path the list does not name.
    void KeepOnly(const std::vector<HashEntry>& entries);
    /// Number of records.
    std::size_t Size() const { return records.size(); }

    /// Writes every record under a temporary name beside the cache file and renames it over
    /// that file. False when this fails; the old cache file then stays and no temporary file.
    bool Save() const;

private:
    struct Record {
        FileStamp stamp;
        std::string md5;
    };

    explicit VerifiedFileCache(std::wstring path) : path(std::move(path)) {}
    std::optional<std::vector<std::uint8_t>> Serialize() const;
    void Parse(std::vector<std::uint8_t> bytes, std::int64_t fileWriteTime);

    std::wstring path;
    std::map<std::string, Record> records;
};

}  // namespace ombrelta
