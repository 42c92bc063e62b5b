#include "common/PartialDownload.h"

#include <limits>
#include <optional>

#include "common/FileSystem.h"

namespace ombrelta {
namespace {

// Records are a few dozen bytes; anything longer is not one of them.
constexpr std::size_t kRecordLimit = 4096;

}  // namespace

std::wstring PartialRecordPath(const std::wstring& partialPath) {
    return partialPath + L".resume";
}

std::uint32_t ResumableSize(const std::wstring& partialPath, const std::string& identity, std::uint64_t totalSize) {
    const std::optional<std::uint64_t> size = GetFileSize(partialPath);
    const std::optional<std::string> record = ReadSmallFile(PartialRecordPath(partialPath), kRecordLimit);
    if (size && record && *record == identity && *size <= totalSize && *size <= std::numeric_limits<std::uint32_t>::max())
        return static_cast<std::uint32_t>(*size);
    DiscardPartial(partialPath);
    return 0;
}

bool RecordPartial(const std::wstring& partialPath, const std::string& identity) {
    const std::wstring recordPath = PartialRecordPath(partialPath);
    std::optional<File> file = File::OpenWrite(recordPath);
    if (file && file->Write(identity.data(), identity.size()) && file->Close())
        return true;
    (void)DeleteFileAt(recordPath);
    return false;
}

void DiscardPartial(const std::wstring& partialPath) {
    (void)DeleteFileAt(partialPath);
    (void)DeleteFileAt(PartialRecordPath(partialPath));
}

}  // namespace ombrelta
