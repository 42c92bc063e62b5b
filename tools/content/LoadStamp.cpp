#include "tools/content/LoadStamp.h"

namespace ombrelta {

std::optional<LoadStamp> LoadStamp::Take(const File& handle, std::wstring path) {
    std::optional<OpenFileStamp> now = handle.Stamp();
    if (!now)
        return std::nullopt;
    LoadStamp loaded;
    loaded.path = std::move(path);
    loaded.stamp = *now;
    return loaded;
}

// Moved only while the content is built, before any reader shares it.
LoadStamp::LoadStamp(LoadStamp&& other) noexcept
    : path(std::move(other.path)), stamp(other.stamp), noticed(other.noticed.load()) {}

LoadStamp& LoadStamp::operator=(LoadStamp&& other) noexcept {
    path = std::move(other.path);
    stamp = other.stamp;
    noticed = other.noticed.load();
    return *this;
}

bool LoadStamp::Changed(const File& handle) const {
    std::optional<OpenFileStamp> now = handle.Stamp();
    if (!now)
        return true;
    if (*now == stamp)
        return false;
    if (now->file.size != stamp.file.size || now->file.writeTime != stamp.file.writeTime)
        return true;
    // Only the status changed. Renaming, replacing or deleting the file does that too, and then
    // another file, or none, lies at its path; bytes written in place leave the same file there.
    std::optional<FileStamp> there = GetFileStamp(path);
    return there && there->volume == stamp.file.volume && there->fileIndex == stamp.file.fileIndex;
}

bool LoadStamp::FirstToNotice() const {
    return !noticed.exchange(true);
}

}  // namespace ombrelta
