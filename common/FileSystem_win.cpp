#include "common/FileSystem.h"

#include <windows.h>

#include <cstdint>

namespace ombrelta {
namespace {

// The system takes paths as zero-terminated text: a path with a zero inside would silently
// name a different, shorter path, so it names nothing.
bool IsUsable(const std::wstring& path) {
    return !path.empty() && path.find(L'\0') == std::wstring::npos;
}

HANDLE ToHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::intptr_t FromHandle(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

// Win32 calls take at most a DWORD per call; larger requests are split.
constexpr std::size_t kMaxChunk = 1u << 30;

HANDLE OpenWith(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
    if (!IsUsable(path))
        return INVALID_HANDLE_VALUE;
    return CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

FileStamp StampOf(const BY_HANDLE_FILE_INFORMATION& info) {
    auto join = [](DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; };
    return FileStamp{
        .size = join(info.nFileSizeHigh, info.nFileSizeLow),
        .writeTime = static_cast<std::int64_t>(
            join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)),
        .volume = info.dwVolumeSerialNumber,
        .fileIndex = join(info.nFileIndexHigh, info.nFileIndexLow),
    };
}

}  // namespace

std::filesystem::path ToNativePath(std::wstring_view path) {
    return std::filesystem::path(path);
}

bool PathExists(const std::wstring& path) {
    return IsUsable(path) && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
    if (!IsUsable(path))
        return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectoryAt(const std::wstring& path) {
    return IsUsable(path) && CreateDirectoryW(path.c_str(), nullptr) != 0;
}

bool DeleteFileAt(const std::wstring& path) {
    return IsUsable(path) && DeleteFileW(path.c_str()) != 0;
}

bool RenameFileNoReplace(const std::wstring& from, const std::wstring& to) {
    // MoveFileW without MOVEFILE_REPLACE_EXISTING fails when the target exists.
    return IsUsable(from) && IsUsable(to) && MoveFileW(from.c_str(), to.c_str()) != 0;
}

bool RenameFileReplacing(const std::wstring& from, const std::wstring& to) {
    return IsUsable(from) && IsUsable(to) &&
           MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool RemoveEmptyDirectory(const std::wstring& path) {
    return IsUsable(path) && RemoveDirectoryW(path.c_str()) != 0;
}

std::optional<std::uint64_t> GetFileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!IsUsable(path) || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool IsFileInUse(const std::wstring& path) {
    if (!IsUsable(path))
        return false;
    HANDLE handle =
        OpenWith(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

std::optional<FileStamp> GetFileStamp(const std::wstring& path) {
    // No access rights asked: attributes can be queried even while another program holds the
    // file open without sharing it.
    HANDLE handle = OpenWith(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool queried = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!queried || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return StampOf(info);
}

std::optional<File> File::OpenRead(const std::wstring& path) {
    HANDLE handle =
        OpenWith(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    return File(FromHandle(handle));
}

std::optional<File> File::OpenWrite(const std::wstring& path) {
    HANDLE handle = OpenWith(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    return File(FromHandle(handle));
}

std::optional<File> File::OpenAppend(const std::wstring& path) {
    HANDLE handle = OpenWith(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    File file(FromHandle(handle));
    if (!SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_END))
        return std::nullopt;
    return file;
}

std::optional<std::size_t> File::Read(void* buffer, std::size_t size) {
    if (handle == kNoFile)
        return std::nullopt;
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(size < kMaxChunk ? size : kMaxChunk);
    if (!ReadFile(ToHandle(handle), buffer, want, &got, nullptr))
        return std::nullopt;
    return static_cast<std::size_t>(got);
}

bool File::Seek(std::uint64_t offset) {
    if (handle == kNoFile || offset > static_cast<std::uint64_t>(INT64_MAX))
        return false;
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(ToHandle(handle), position, nullptr, FILE_BEGIN) != 0;
}

std::optional<std::size_t> File::ReadOnceAt(std::uint64_t offset,
                                            unsigned char* buffer,
                                            std::size_t size) const {
    // The offset travels in the OVERLAPPED record, so no shared file position is touched.
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(ToHandle(handle), buffer, static_cast<DWORD>(size < kMaxChunk ? size : kMaxChunk), &got,
                  &where))
        return GetLastError() == ERROR_HANDLE_EOF ? std::optional<std::size_t>(0) : std::nullopt;
    return got;
}

std::optional<std::uint64_t> File::Size() const {
    LARGE_INTEGER size{};
    if (handle == kNoFile || !GetFileSizeEx(ToHandle(handle), &size))
        return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<OpenFileStamp> File::Stamp() const {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (handle == kNoFile || !GetFileInformationByHandle(ToHandle(handle), &info) ||
        !GetFileInformationByHandleEx(ToHandle(handle), FileBasicInfo, &basic, sizeof basic))
        return std::nullopt;
    return OpenFileStamp{.file = StampOf(info), .changeTime = basic.ChangeTime.QuadPart};
}

bool File::Write(const void* data, std::size_t size) {
    if (handle == kNoFile)
        return false;
    auto bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        DWORD put = 0;
        DWORD want = static_cast<DWORD>(size < kMaxChunk ? size : kMaxChunk);
        if (!WriteFile(ToHandle(handle), bytes, want, &put, nullptr) || put == 0)
            return false;
        bytes += put;
        size -= put;
    }
    return true;
}

bool File::SetModifiedTime(DosDateTime when) {
    if (handle == kNoFile)
        return false;
    FILETIME local{};
    FILETIME utc{};
    if (!DosDateTimeToFileTime(when.date, when.time, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return false;
    // Access and modification time alike, as zip extractors leave them.
    return SetFileTime(ToHandle(handle), nullptr, &utc, &utc) != 0;
}

bool File::Close() {
    if (handle == kNoFile)
        return true;
    HANDLE closing = ToHandle(handle);
    handle = kNoFile;
    return CloseHandle(closing) != 0;
}

}  // namespace ombrelta
