#include "common/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "common/FileSystem.h"

namespace ombrelta {
namespace {

bool IsUsable(const std::wstring& path) {
    return !path.empty() && path.find(L'\0') == std::wstring::npos;
}

}  // namespace

std::optional<MappedFile> MappedFile::OpenRead(const std::wstring& path) {
    if (!IsUsable(path))
        return std::nullopt;
    MappedFile mapped;
    mapped.handle = ::open(ToNativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (mapped.handle < 0 || ::fstat(static_cast<int>(mapped.handle), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) > std::numeric_limits<std::size_t>::max())
        return std::nullopt;
    mapped.size = static_cast<std::size_t>(info.st_size);
    if (mapped.size == 0)
        return mapped;
    void* view = ::mmap(nullptr, mapped.size, PROT_READ, MAP_SHARED, static_cast<int>(mapped.handle), 0);
    if (view == MAP_FAILED) {
        mapped.size = 0;
        return std::nullopt;
    }
    mapped.data = static_cast<std::uint8_t*>(view);
    return mapped;
}

std::optional<MappedFile> MappedFile::CreateWritable(const std::wstring& path, std::uint64_t size) {
    if (!IsUsable(path) || size > std::numeric_limits<std::size_t>::max() ||
        size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return std::nullopt;
    MappedFile mapped;
    mapped.writable = true;
    mapped.handle = ::open(ToNativePath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (mapped.handle < 0)
        return std::nullopt;
    const int fd = static_cast<int>(mapped.handle);
    if (size == 0)
        return mapped;
    // Reserved blocks turn a full disk into a failure here instead of a fault while writing
    // through the mapping; file systems that cannot reserve only get the size.
    const int reserved = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    if (reserved != 0 && (reserved != EOPNOTSUPP || ::ftruncate(fd, static_cast<off_t>(size)) != 0))
        return std::nullopt;
    void* view = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (view == MAP_FAILED)
        return std::nullopt;
    mapped.data = static_cast<std::uint8_t*>(view);
    mapped.size = static_cast<std::size_t>(size);
    return mapped;
}

bool MappedFile::Unmap(std::uint8_t* data, std::size_t size) {
    return ::munmap(data, size) == 0;
}

bool MappedFile::CloseFile(std::intptr_t handle) {
    return ::close(static_cast<int>(handle)) == 0;
}

}  // namespace ombrelta
