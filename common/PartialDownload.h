#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ombrelta {

// A download kept after an interruption: the partial file, and beside it a record of what it is a
// part of, so that only the same download ever continues it.

/// The record's path: partialPath + ".resume".
std::wstring PartialRecordPath(const std::wstring& partialPath);

/// The bytes of partialPath that a download of identity with totalSize bytes may continue from:
/// the partial file's size when the record holds exactly identity and the size is at most
/// totalSize. Otherwise deletes the partial file and its record and returns 0. Never throws.
std::uint32_t ResumableSize(const std::wstring& partialPath, const std::string& identity, std::uint64_t totalSize);

/// Writes identity as the record of partialPath; false when it cannot be written.
bool RecordPartial(const std::wstring& partialPath, const std::string& identity);

/// Deletes the partial file and its record; failures ignored.
void DiscardPartial(const std::wstring& partialPath);

/// The record of a game file's part: "size=N\nmd5=HASH\n" with the list's size and MD5 text.
std::string GameFilePartRecord(std::uint32_t size, std::string_view md5);

/// Whether text has the shape of a game file part's record (any size and MD5 text).
bool IsGameFilePartRecord(std::string_view text);

/// The record of a patch archive's part: "version=V\nsize=S\nname=NAME\n".
std::string PatchPartRecord(std::uint16_t version, std::uint32_t size, std::string_view fileName);

/// The version a patch part's record names, when text is such a record for the archive fileName.
std::optional<std::uint16_t> PatchPartVersion(std::string_view text, std::string_view fileName);

}  // namespace ombrelta
