#include "tools/patch/ZipWriter.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <fstream>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

#include "tools/content/PathText.h"

namespace ombrelta::patchkit {
namespace {

// General purpose flag bit 11: the entry name is UTF-8.
constexpr unsigned long kFlagUtf8Name = 0x0800;
// "Made by" version 2.0 on MS-DOS, so readers take the external attributes as DOS attributes.
constexpr int kMadeByDos = 20;

struct UnzipClose {
    void operator()(void* unzip) const { unzClose(static_cast<unzFile>(unzip)); }
};

zipFile AsZip(void* zip) {
    return static_cast<zipFile>(zip);
}

// The entry's date in local time, the way the launcher sets it back on the extracted file.
zip_fileinfo InfoFor(std::filesystem::file_time_type modified) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(
        std::filesystem::file_time_type::clock::to_sys(modified));
    std::tm local{};
    localtime_r(&seconds, &local);
    zip_fileinfo info{};
    info.tmz_date = {.tm_sec = static_cast<uInt>(local.tm_sec),
                     .tm_min = static_cast<uInt>(local.tm_min),
                     .tm_hour = static_cast<uInt>(local.tm_hour),
                     .tm_mday = static_cast<uInt>(local.tm_mday),
                     .tm_mon = static_cast<uInt>(local.tm_mon),
                     .tm_year = static_cast<uInt>(local.tm_year + 1900)};
    return info;
}

}  // namespace

ZipWriter::ZipWriter(const std::filesystem::path& archive) : archiveName(PathToUtf8(archive)) {
    zip = zipOpen64(archiveName.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr)
        Fail("cannot be created");
}

ZipWriter::~ZipWriter() {
    if (zip != nullptr)
        zipClose(AsZip(zip), nullptr);
}

void ZipWriter::AddFile(const std::string& name, const std::filesystem::path& source) {
    std::ifstream in(source, std::ios::binary);
    if (!in)
        Fail("cannot read " + PathToUtf8(source));
    const bool large = std::filesystem::file_size(source) >= std::numeric_limits<std::uint32_t>::max();
    OpenEntry(name, std::filesystem::last_write_time(source), large);
    std::array<char, 64 * 1024> buffer;
    while (in) {
        in.read(buffer.data(), buffer.size());
        Write(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad())
        Fail("cannot read " + PathToUtf8(source));
    CloseEntry();
}

void ZipWriter::AddStored(const std::string& name, const std::vector<std::uint8_t>& bytes,
                          std::filesystem::file_time_type modified) {
    OpenEntry(name, modified, bytes.size() >= std::numeric_limits<std::uint32_t>::max(), false);
    Write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    CloseEntry();
}

void ZipWriter::AddText(const std::string& name, std::string_view text) {
    OpenEntry(name, std::filesystem::file_time_type::clock::now(), false);
    Write(text.data(), text.size());
    CloseEntry();
}

void ZipWriter::CopyEntries(const std::filesystem::path& source, const std::function<bool(std::uint32_t)>& keep) {
    const std::string sourceName = PathToUtf8(source);
    const std::unique_ptr<void, UnzipClose> unzip(unzOpen64(sourceName.c_str()));
    if (!unzip)
        Fail("cannot copy from " + sourceName + ": not a readable zip");
    int status = unzGoToFirstFile(static_cast<unzFile>(unzip.get()));
    for (std::uint32_t i = 0; status == UNZ_OK; ++i, status = unzGoToNextFile(static_cast<unzFile>(unzip.get()))) {
        if (keep(i))
            CopyCurrentEntry(unzip.get(), sourceName);
    }
    if (status != UNZ_END_OF_LIST_OF_FILE)
        Fail("cannot copy from " + sourceName);
}

void ZipWriter::CopyCurrentEntry(void* source, const std::string& sourceName) {
    const auto in = static_cast<unzFile>(source);
    unz_file_info64 info{};
    std::vector<char> name(0x10001);
    int method = 0, level = 0;
    if (unzGetCurrentFileInfo64(in, &info, name.data(), name.size(), nullptr, 0, nullptr, 0) != UNZ_OK ||
        std::strlen(name.data()) != info.size_filename || unzOpenCurrentFile2(in, &method, &level, 1) != UNZ_OK)
        Fail("cannot copy an entry of " + sourceName);
    zip_fileinfo fileInfo{};
    fileInfo.dosDate = info.dosDate;
    fileInfo.internal_fa = info.internal_fa;
    fileInfo.external_fa = info.external_fa;
    const bool large = info.uncompressed_size >= 0xFFFFFFFFu || info.compressed_size >= 0xFFFFFFFFu;
    if (zipOpenNewFileInZip4_64(AsZip(zip), name.data(), &fileInfo, nullptr, 0, nullptr, 0, nullptr, method, level,
                                1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                                static_cast<int>(info.version), info.flag & kFlagUtf8Name, large ? 1 : 0) != ZIP_OK)
        Fail("cannot take the entry " + std::string(name.data()));
    std::vector<char> buffer(64 * 1024);
    int got = 0;
    while ((got = unzReadCurrentFile(in, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0)
        Write(buffer.data(), static_cast<std::size_t>(got));
    if (got < 0 || unzCloseCurrentFile(in) != UNZ_OK)
        Fail("cannot copy an entry of " + sourceName);
    if (zipCloseFileInZipRaw64(AsZip(zip), info.uncompressed_size, info.crc) != ZIP_OK)
        Fail("cannot be written");
}

void ZipWriter::Close() {
    const int status = zipClose(AsZip(zip), nullptr);
    zip = nullptr;
    if (status != ZIP_OK)
        Fail("cannot be completed");
}

void ZipWriter::OpenEntry(const std::string& name, std::filesystem::file_time_type modified, bool large,
                          bool deflated) {
    const zip_fileinfo info = InfoFor(modified);
    const int status = zipOpenNewFileInZip4_64(
        AsZip(zip), name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, deflated ? Z_DEFLATED : 0,
        deflated ? Z_BEST_COMPRESSION : 0, 0,
        -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, kMadeByDos, kFlagUtf8Name, large ? 1 : 0);
    if (status != ZIP_OK)
        Fail("cannot take the entry " + name);
}

void ZipWriter::Write(const char* bytes, std::size_t size) {
    // zipWriteInFileInZip takes an unsigned count.
    constexpr std::size_t kPiece = std::size_t{1} << 30;
    for (std::size_t done = 0; done < size; done += kPiece) {
        const std::size_t piece = std::min(kPiece, size - done);
        if (zipWriteInFileInZip(AsZip(zip), bytes + done, static_cast<unsigned>(piece)) != ZIP_OK)
            Fail("cannot be written");
    }
}

void ZipWriter::CloseEntry() {
    if (zipCloseFileInZip(AsZip(zip)) != ZIP_OK)
        Fail("cannot be written");
}

void ZipWriter::Fail(const std::string& what) const {
    throw std::runtime_error("archive " + archiveName + " " + what);
}

}  // namespace ombrelta::patchkit
