#pragma once

#include <cstdint>
#include <string>

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

}  // namespace ombrelta
