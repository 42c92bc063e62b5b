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

}  // namespace ombrelta
