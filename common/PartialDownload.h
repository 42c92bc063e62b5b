#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrelta {

// The one owner of the parts downloads keep: the partial file beside its target, and beside the
// part a record of what it is a part of, so that only the same download ever continues it. Their
// names, their records and the sweeps that delete parts no download can continue live here.

/// The folder of an install folder that patch archives are downloaded into.
inline const std::wstring kPatchTempDir = L"_patch_temp";

/// The partial file a download of target writes into: target + ".download".
std::wstring PartialPath(const std::wstring& target);

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

/// A game file the list names: its path below the root ('\' or '/' separators) and the record
/// a part of it holds when a repair of that file may continue it (GameFilePartRecord).
struct ListedGameFile {
    std::wstring path;
    std::string partRecord;
};

/// Deletes, below root, the parts of game file repairs that no later repair can continue:
/// "PATH.download" beside a listed PATH whose record "PATH.download.resume" is not that file's
/// partRecord (or that has no record), and "PATH.download" beside a PATH not listed whose record
/// has a game file part record's shape; each with its record, and a record of that shape without
/// its part. A listed file is never deleted, nor anything else; letter case aside, as Windows
/// takes paths. Failures are ignored.
void SweepGameFileParts(const std::wstring& root, const std::vector<ListedGameFile>& listed);

/// Deletes the parts of patch downloads in installDir's "_patch_temp" that no later download can
/// continue: "NAME.download" whose record "NAME.download.resume" names a version at or below
/// installedVersion, or that has no record of its own, and a record without its part. Removes
/// the folder when it is empty then. Nothing else is deleted; failures are ignored.
void SweepPatchParts(const std::wstring& installDir, std::uint16_t installedVersion);

}  // namespace ombrelta
