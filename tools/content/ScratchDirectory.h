#pragma once

#include <filesystem>

namespace ombrelta {

/// A fresh directory under the system's temporary directory, removed with its contents on
/// destruction.
class ScratchDirectory {
public:
    /// Throws std::runtime_error when no directory can be created.
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
};

}  // namespace ombrelta
