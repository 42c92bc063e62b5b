#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ombrelta {

// Wide paths may use '\' or '/' on every host; the POSIX side turns '\' into '/' before it
// hands a path to the file system.

/// The path as the host's file system takes it.
std::filesystem::path ToNativePath(std::wstring_view path);

/// True when anything (file or directory) exists at the path.
bool PathExists(const std::wstring& path);
/// True when a directory exists at the path.
bool IsDirectory(const std::wstring& path);
/// Creates one directory; false when it cannot be created (also when something exists there).
bool CreateDirectoryAt(const std::wstring& path);
/// Deletes a file; false when it cannot be deleted.
bool DeleteFileAt(const std::wstring& path);
/// Renames a file; fails, leaving both untouched, when anything exists at the target.
bool RenameFileNoReplace(const std::wstring& from, const std::wstring& to);
/// Renames a file over an existing one in a single step, so that readers of the target see
/// either the old or the new file; false, leaving both untouched, when the system refuses it.
bool RenameFileReplacing(const std::wstring& from, const std::wstring& to);
/// Removes a directory only when it is empty.
bool RemoveEmptyDirectory(const std::wstring& path);
/// Size of a regular file, or nothing when it cannot be read.
std::optional<std::uint64_t> GetFileSize(const std::wstring& path);
/// True when a file exists at the path but the system refuses to open it for writing because it
/// is in use: a running program, a loaded library, a file held open without write sharing.
/// False when it can be opened, and for every other refusal (missing, read-only, a directory).
bool IsFileInUse(const std::wstring& path);

/// What tells whether a file is still the one seen earlier. Values come from the host's own
/// clock and numbering, so they are compared only with stamps taken on the same kind of host.
struct FileStamp {
    std::uint64_t size = 0;
    /// Last write at the file system's full resolution (100 ns units on Windows, ns on POSIX).
    std::int64_t writeTime = 0;
    /// The volume serial number on Windows, the device number on POSIX.
    std::uint64_t volume = 0;
    /// The file index on Windows, the inode number on POSIX: another file gets another one.
    std::uint64_t fileIndex = 0;

    bool operator==(const FileStamp&) const = default;
};

/// The stamp of a regular file; nothing when it is missing, a directory or cannot be queried.
std::optional<FileStamp> GetFileStamp(const std::wstring& path);

/// The stamp of an open file and the time its status last changed (a write, a rename, a link
/// added or removed, attributes or times set), in the units of writeTime. The change time cannot
/// be set back, so it moves even when the last-write time is put back after a write.
struct OpenFileStamp {
    FileStamp file;
    std::int64_t changeTime = 0;

    bool operator==(const OpenFileStamp&) const = default;
};

/// Local date and time as stored in a zip entry (MS-DOS format).
struct DosDateTime {
    std::uint16_t date = 0;
    std::uint16_t time = 0;
};

/// An open file, closed on destruction. Reads and writes are raw bytes, unbuffered by this class.
class File {
public:
    /// Opens an existing file for reading, sharing it with other readers and writers.
    static std::optional<File> OpenRead(const std::wstring& path);
    /// Creates or truncates a file for writing.
    static std::optional<File> OpenWrite(const std::wstring& path);
    /// Opens a file for writing after its last byte, creating it when missing.
    static std::optional<File> OpenAppend(const std::wstring& path);

    /// No file: every operation fails, as on a closed one.
    File() = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    /// Reads up to size bytes; returns the count read, 0 at the end, nothing on an error.
    std::optional<std::size_t> Read(void* buffer, std::size_t size);
    /// Moves the position of the next Read or Write to an absolute byte offset from the start
    /// (64-bit, so files over 4 GiB work on 32-bit hosts); false when the system refuses it.
    [[nodiscard]] bool Seek(std::uint64_t offset);
    /// Reads up to size bytes starting at offset; several threads may read one file this way at
    /// once. Stops short only at the end of the file. The position of Read and Write is left
    /// undefined (Windows moves it), so a file read at offsets is read only so. Returns the count
    /// read (0 at or past the end), nothing on an error.
    std::optional<std::size_t> ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;
    /// The file's current size in bytes, nothing when the system cannot tell.
    std::optional<std::uint64_t> Size() const;
    /// The open file's stamp at this moment, nothing when the system cannot tell.
    std::optional<OpenFileStamp> Stamp() const;
    /// Writes all bytes; false on any error (disk full included).
    [[nodiscard]] bool Write(const void* data, std::size_t size);
    /// Sets the last-modified time from a local DOS date and time.
    [[nodiscard]] bool SetModifiedTime(DosDateTime when);
    /// Closes the file; false when the system reports an error (pending writes lost).
    bool Close();

private:
    // -1 is also INVALID_HANDLE_VALUE seen as an integer.
    static constexpr std::intptr_t kNoFile = -1;

    explicit File(std::intptr_t handle) : handle(handle) {}
    // One read of up to size bytes at offset, from an open file: the count (0 at or past the end),
    // nothing on an error.
    std::optional<std::size_t> ReadOnceAt(std::uint64_t offset, unsigned char* buffer, std::size_t size) const;
    std::intptr_t handle = kNoFile;
};

/// The whole content of a small file (settings, records); nothing when it cannot be opened or
/// read, or holds more than limit bytes.
std::optional<std::string> ReadSmallFile(const std::wstring& path, std::size_t limit);

}  // namespace ombrelta
