#pragma once

#include <filesystem>

namespace ombrelta::patchkit {

/// An exclusive advisory lock on an existing file or folder, held while the object lives; the
/// system drops it when the process ends, however it ends.
class FileLock {
public:
    /// Takes the lock without waiting. Locked() is false when another process holds it or path
    /// cannot be opened.
    explicit FileLock(const std::filesystem::path& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Locked() const { return locked; }

private:
    int descriptor = -1;
    bool locked = false;
};

}  // namespace ombrelta::patchkit
