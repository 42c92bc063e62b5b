#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrelta::patchkit {

/// Writes a zip archive through zlib's minizip: deflated entries with UTF-8 names, ZIP64 only
/// for an entry that needs it. Every failure throws std::runtime_error naming the archive.
class ZipWriter {
public:
    /// Creates or truncates the archive.
    explicit ZipWriter(const std::filesystem::path& archive);
    /// Ends an archive that was not closed; its file is then incomplete.
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    /// Adds an entry with the bytes and modification time of a file.
    void AddFile(const std::string& name, const std::filesystem::path& source);
    /// Adds a stored (not deflated) entry holding bytes that are compressed already, dated modified.
    void AddStored(const std::string& name, const std::vector<std::uint8_t>& bytes,
                   std::filesystem::file_time_type modified);
    /// Adds an entry holding text, dated now.
    void AddText(const std::string& name, std::string_view text);
    /// Adds the entries of another archive that keep accepts (by central-directory index), raw:
    /// their compressed bytes, names, sizes, CRC-32s, flags, dates and attributes unchanged.
    void CopyEntries(const std::filesystem::path& source, const std::function<bool(std::uint32_t)>& keep);
    /// Writes the central directory and closes the file.
    void Close();

private:
    void OpenEntry(const std::string& name, std::filesystem::file_time_type modified, bool large, bool deflated = true);
    void Write(const char* bytes, std::size_t size);
    void CloseEntry();
    void CopyCurrentEntry(void* source, const std::string& sourceName);
    [[noreturn]] void Fail(const std::string& what) const;

    std::string archiveName;
    void* zip = nullptr;
};

}  // namespace ombrelta::patchkit
