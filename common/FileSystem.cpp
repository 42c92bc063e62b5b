#include "common/FileSystem.h"

namespace ombrelta {

File::File(File&& other) noexcept : handle_(other.handle_) {
    other.handle_ = kNoFile;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = kNoFile;
    }
    return *this;
}

File::~File() {
    Close();
}

}  // namespace ombrelta
