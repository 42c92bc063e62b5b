#include "common/FileSystem.h"

namespace ombrelta {

File::File(File&& other) noexcept : handle(other.handle) {
    other.handle = kNoFile;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle = other.handle;
        other.handle = kNoFile;
    }
    return *this;
}

File::~File() {
    Close();
}

std::optional<std::size_t> File::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    if (handle == kNoFile)
        return std::nullopt;
    auto bytes = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const std::optional<std::size_t> got = ReadOnceAt(offset + done, bytes + done, size - done);
        if (!got)
            return std::nullopt;
        if (*got == 0)
            break;
        done += *got;
    }
    return done;
}

std::optional<std::string> ReadSmallFile(const std::wstring& path, std::size_t limit) {
    std::optional<File> file = File::OpenRead(path);
    if (!file)
        return std::nullopt;
    // One byte more than the limit tells a file at the limit from a longer one.
    std::string bytes(limit + 1, '\0');
    const std::optional<std::size_t> filled = file->ReadAt(0, bytes.data(), bytes.size());
    if (!filled || *filled > limit)
        return std::nullopt;
    bytes.resize(*filled);
    return bytes;
}

}  // namespace ombrelta
