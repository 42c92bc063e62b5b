#include "tools/patch/ZipWriter.h"

#include <minizip/zip.h>

#include <array>
#include <chrono>
#include <ctime>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "tools/server/PathText.h"

namespace ombrelta::patchkit {
namespace {

// General purpose flag bit 11: the entry name is UTF-8.
constexpr unsigned long kFlagUtf8Name = 0x0800;
// "Made by" version 2.0 on MS-DOS, so readers take the external attributes as DOS attributes.
constexpr int kMadeByDos = 20;

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

ZipWriter::ZipWriter(const std::filesystem::path& archive) : archiveName(server::PathToUtf8(archive)) {
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
        Fail("cannot read " + server::PathToUtf8(source));
    const bool large = std::filesystem::file_size(source) >= std::numeric_limits<std::uint32_t>::max();
    OpenEntry(name, std::filesystem::last_write_time(source), large);
    std::array<char, 64 * 1024> buffer;
    while (in) {
        in.read(buffer.data(), buffer.size());
        Write(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad())
        Fail("cannot read " + server::PathToUtf8(source));
    CloseEntry();
}

void ZipWriter::AddText(const std::string& name, std::string_view text) {
    OpenEntry(name, std::filesystem::file_time_type::clock::now(), false);
    Write(text.data(), text.size());
    CloseEntry();
}

void ZipWriter::Close() {
    const int status = zipClose(AsZip(zip), nullptr);
    zip = nullptr;
    if (status != ZIP_OK)
        Fail("cannot be completed");
}

void ZipWriter::OpenEntry(const std::string& name, std::filesystem::file_time_type modified, bool large) {
    const zip_fileinfo info = InfoFor(modified);
    const int status = zipOpenNewFileInZip4_64(
        AsZip(zip), name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, Z_BEST_COMPRESSION, 0,
        -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, kMadeByDos, kFlagUtf8Name, large ? 1 : 0);
    if (status != ZIP_OK)
        Fail("cannot take the entry " + name);
}

void ZipWriter::Write(const char* bytes, std::size_t size) {
    if (size > 0 && zipWriteInFileInZip(AsZip(zip), bytes, static_cast<unsigned>(size)) != ZIP_OK)
        Fail("cannot be written");
}

void ZipWriter::CloseEntry() {
    if (zipCloseFileInZip(AsZip(zip)) != ZIP_OK)
        Fail("cannot be written");
}

void ZipWriter::Fail(const std::string& what) const {
    throw std::runtime_error("archive " + archiveName + " " + what);
}

}  // namespace ombrelta::patchkit
