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

std::optional<std::string> ReadSmallFile(const std::wstring& path, std::size_t limit) {
    std::optional<File> file = File::OpenRead(path);
    if (!file)
        return std::nullopt;
    // One byte more than the limit tells a file at the limit from a longer one.
    std::string bytes(limit + 1, '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        std::optional<std::size_t> got = file->Read(bytes.data() + filled, bytes.size() - filled);
        if (!got)
            return std::nullopt;
        if (*got == 0)
            break;
        filled += *got;
    }
    if (filled > limit)
        return std::nullopt;
    bytes.resize(filled);
    return bytes;
}

}  // namespace ombrelta
