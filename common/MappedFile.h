#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace ombrelta {

/// A whole file mapped into the address space, unmapped on destruction. The bytes are the file's
/// own pages, not private memory, so a large file costs address space but no memory of its own.
class MappedFile {
public:
    /// Maps an existing regular file read-only, sharing it with other readers and writers. An
    /// empty file gives no bytes. Nothing when it cannot be opened or mapped (also when it does
    /// not fit into the address space).
    static std::optional<MappedFile> OpenRead(const std::wstring& path);
    /// Creates or truncates a file of exactly size bytes, with its disk space reserved where the
    /// file system allows, and maps it for writing. Nothing on any failure; the file may then be
    /// left behind.
    static std::optional<MappedFile> CreateWritable(const std::wstring& path, std::uint64_t size);

    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    std::span<const std::uint8_t> Bytes() const { return {data, size}; }
    /// The bytes of a mapping made by CreateWritable; empty for a read-only one.
    std::span<std::uint8_t> WritableBytes() { return writable ? std::span<std::uint8_t>(data, size) : std::span<std::uint8_t>(); }
    /// Unmaps and closes the file; false when the system reports that written bytes may be lost.
    bool Close();

private:
    MappedFile() = default;
    // The host's two steps of Close, each false when the system reports an error.
    static bool Unmap(std::uint8_t* data, std::size_t size);
    static bool CloseFile(std::intptr_t handle);

    std::uint8_t* data = nullptr;
    std::size_t size = 0;
    bool writable = false;
    // The open file while mapped (a descriptor on POSIX, a HANDLE on Windows); -1 for none.
    std::intptr_t handle = -1;
};

}  // namespace ombrelta
