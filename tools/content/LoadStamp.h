#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "common/FileSystem.h"

namespace ombrelta {

/// What a content file was when it was loaded, so that every later read can tell whether the
/// handle still reads the bytes the server announced (size, MD5) for it.
class LoadStamp {
public:
    /// The stamp of handle, opened at path, taken before its first read; nothing when the system
    /// cannot tell.
    static std::optional<LoadStamp> Take(const File& handle, std::wstring path);

    LoadStamp() = default;
    LoadStamp(LoadStamp&& other) noexcept;
    LoadStamp& operator=(LoadStamp&& other) noexcept;

    /// True when the handle may no longer read what it read at load: its size or last write
    /// changed, its status changed while it still lies at its path (bytes written with their time
    /// put back look so), or its stamp cannot be read. A rename, a replacement or a deletion
    /// alone changes nothing the handle reads, so it is no change.
    bool Changed(const File& handle) const;
    /// True for the first caller only, so that a change is reported once per file.
    bool FirstToNotice() const;

private:
    std::wstring path;
    OpenFileStamp stamp;
    mutable std::atomic<bool> noticed{false};
};

}  // namespace ombrelta
