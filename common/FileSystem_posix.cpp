#include "common/FileSystem.h"

#include "common/Text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <limits>

namespace ombrelta {
namespace {

// The system takes paths as zero-terminated text: a path with a zero inside would silently
// name a different, shorter path, so it names nothing.
bool IsUsable(const std::wstring& path) {
    return !path.empty() && path.find(L'\0') == std::wstring::npos;
}

std::string NativeBytes(const std::wstring& path) {
    return ToNativePath(path).string();
}

std::int64_t Nanoseconds(const struct timespec& time) {
    constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
    return static_cast<std::int64_t>(time.tv_sec) * kNanosecondsPerSecond + time.tv_nsec;
}

FileStamp StampOf(const struct stat& info) {
    return FileStamp{
        .size = static_cast<std::uint64_t>(info.st_size),
        .writeTime = Nanoseconds(info.st_mtim),
        .volume = static_cast<std::uint64_t>(info.st_dev),
        .fileIndex = static_cast<std::uint64_t>(info.st_ino),
    };
}

std::optional<struct stat> StatPath(const std::wstring& path) {
    struct stat info {};
    if (::stat(NativeBytes(path).c_str(), &info) != 0)
        return std::nullopt;
    return info;
}

// Hard links give a rename that cannot overwrite on file systems without RENAME_NOREPLACE.
bool LinkThenUnlink(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    if (::unlink(from.c_str()) == 0)
        return true;
    (void)::unlink(to.c_str());
    return false;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The same fields Windows' DosDateTimeToFileTime refuses: no month 0, no 30 February, no 24:00.
bool IsValidDosTime(int year, int month, int day, int hour, int minute, int second) {
    static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1)
        return false;
    int days = kDaysInMonth[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    return day <= days && hour < 24 && minute < 60 && second < 60;
}

}  // namespace

std::filesystem::path ToNativePath(std::wstring_view path) {
    std::string bytes = WideToUtf8(path);
    for (char& c : bytes) {
        if (c == '\\')
            c = '/';
    }
    return std::filesystem::path(bytes);
}

bool PathExists(const std::wstring& path) {
    return IsUsable(path) && StatPath(path).has_value();
}

bool IsDirectory(const std::wstring& path) {
    auto info = IsUsable(path) ? StatPath(path) : std::nullopt;
    return info && S_ISDIR(info->st_mode);
}

bool CreateDirectoryAt(const std::wstring& path) {
    return IsUsable(path) && ::mkdir(NativeBytes(path).c_str(), 0777) == 0;
}

bool DeleteFileAt(const std::wstring& path) {
    return IsUsable(path) && ::unlink(NativeBytes(path).c_str()) == 0;
}

bool RenameFileNoReplace(const std::wstring& from, const std::wstring& to) {
    if (!IsUsable(from) || !IsUsable(to))
        return false;
    std::string fromBytes = NativeBytes(from);
    std::string toBytes = NativeBytes(to);
    if (::renameat2(AT_FDCWD, fromBytes.c_str(), AT_FDCWD, toBytes.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    return LinkThenUnlink(fromBytes, toBytes);
}

bool RenameFileReplacing(const std::wstring& from, const std::wstring& to) {
    return IsUsable(from) && IsUsable(to) &&
           ::rename(NativeBytes(from).c_str(), NativeBytes(to).c_str()) == 0;
}

bool RemoveEmptyDirectory(const std::wstring& path) {
    return IsUsable(path) && ::rmdir(NativeBytes(path).c_str()) == 0;
}

std::optional<std::uint64_t> GetFileSize(const std::wstring& path) {
    auto info = IsUsable(path) ? StatPath(path) : std::nullopt;
    if (!info || !S_ISREG(info->st_mode))
        return std::nullopt;
    return static_cast<std::uint64_t>(info->st_size);
}

bool IsFileInUse(const std::wstring& path) {
    if (!IsUsable(path))
        return false;
    // Without truncation nothing changes when the open succeeds; O_NONBLOCK keeps a FIFO from
    // waiting for a reader.
    int fd = ::open(NativeBytes(path).c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == ETXTBSY;
}

std::optional<FileStamp> GetFileStamp(const std::wstring& path) {
    auto info = IsUsable(path) ? StatPath(path) : std::nullopt;
    if (!info || !S_ISREG(info->st_mode))
        return std::nullopt;
    return StampOf(*info);
}

std::optional<File> File::OpenRead(const std::wstring& path) {
    if (!IsUsable(path))
        return std::nullopt;
    int fd = ::open(NativeBytes(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    File file(fd);
    // Windows refuses to open a directory as a file; so do we.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode))
        return std::nullopt;
    return file;
}

std::optional<File> File::OpenWrite(const std::wstring& path) {
    if (!IsUsable(path))
        return std::nullopt;
    int fd = ::open(NativeBytes(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::nullopt;
    return File(fd);
}

std::optional<File> File::OpenAppend(const std::wstring& path) {
    if (!IsUsable(path))
        return std::nullopt;
    int fd = ::open(NativeBytes(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::nullopt;
    File file(fd);
    if (::lseek(fd, 0, SEEK_END) < 0)
        return std::nullopt;
    return file;
}

std::optional<std::size_t> File::Read(void* buffer, std::size_t size) {
    if (handle == kNoFile)
        return std::nullopt;
    for (;;) {
        ssize_t got = ::read(static_cast<int>(handle), buffer, size);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            return std::nullopt;
    }
}

bool File::Seek(std::uint64_t offset) {
    if (handle == kNoFile || offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return false;
    auto position = static_cast<off_t>(offset);
    return ::lseek(static_cast<int>(handle), position, SEEK_SET) == position;
}

std::optional<std::size_t> File::ReadOnceAt(std::uint64_t offset,
                                            unsigned char* buffer,
                                            std::size_t size) const {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return std::nullopt;
    ssize_t got;
    do {
        got = ::pread(static_cast<int>(handle), buffer, size, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return std::nullopt;
    return static_cast<std::size_t>(got);
}

std::optional<std::uint64_t> File::Size() const {
    struct stat info {};
    if (handle == kNoFile || ::fstat(static_cast<int>(handle), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

std::optional<OpenFileStamp> File::Stamp() const {
    struct stat info {};
    if (handle == kNoFile || ::fstat(static_cast<int>(handle), &info) != 0)
        return std::nullopt;
    return OpenFileStamp{.file = StampOf(info), .changeTime = Nanoseconds(info.st_ctim)};
}

bool File::Write(const void* data, std::size_t size) {
    if (handle == kNoFile)
        return false;
    auto bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        ssize_t put = ::write(static_cast<int>(handle), bytes, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool File::SetModifiedTime(DosDateTime when) {
    if (handle == kNoFile)
        return false;
    int year = 1980 + (when.date >> 9);
    int month = (when.date >> 5) & 0x0F;
    int day = when.date & 0x1F;
    int hour = when.time >> 11;
    int minute = (when.time >> 5) & 0x3F;
    int second = (when.time & 0x1F) * 2;
    if (!IsValidDosTime(year, month, day, hour, minute, second))
        return false;
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1))
        return false;
    // Access and modification time alike, as zip extractors leave them.
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    return ::futimens(static_cast<int>(handle), times) == 0;
}

bool File::Close() {
    if (handle == kNoFile)
        return true;
    int fd = static_cast<int>(handle);
    handle = kNoFile;
    return ::close(fd) == 0;
}

}  // namespace ombrelta
