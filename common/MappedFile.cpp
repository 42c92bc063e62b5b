#include "common/MappedFile.h"

#include <utility>

namespace ombrelta {

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data(std::exchange(other.data, nullptr)),
      size(std::exchange(other.size, 0)),
      writable(std::exchange(other.writable, false)),
      handle(std::exchange(other.handle, -1)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        (void)Close();
        data = std::exchange(other.data, nullptr);
        size = std::exchange(other.size, 0);
        writable = std::exchange(other.writable, false);
        handle = std::exchange(other.handle, -1);
    }
    return *this;
}

MappedFile::~MappedFile() {
    (void)Close();
}

bool MappedFile::Close() {
    bool good = true;
    if (data != nullptr)
        good = Unmap(data, size);
    if (handle != -1)
        good = CloseFile(handle) && good;
    data = nullptr;
    size = 0;
    handle = -1;
    writable = false;
    return good;
}

}  // namespace ombrelta
