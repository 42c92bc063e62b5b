#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

#include "common/FileSystem.h"
#include "tests/support/TempDir.h"

// Helpers shared by the zip reader and extraction tests: committed fixtures and byte surgery on them.

namespace ombrelta::test {

/// Path of a committed archive under tests/patch/fixtures.
inline std::wstring FixturePath(const std::wstring& name) {
    return TestDataDir() + L"fixtures/" + name;
}

/// The bytes of a committed archive.
inline std::string FixtureBytes(const std::wstring& name) {
    return ReadFileBytes(FixturePath(name));
}

/// Offset of the index-th central directory header, or npos.
inline std::size_t CentralHeaderAt(const std::string& zip, int index) {
    std::size_t at = zip.find("PK\x01\x02");
    for (int i = 0; i < index && at != std::string::npos; ++i)
        at = zip.find("PK\x01\x02", at + 4);
    return at;
}

/// Offset of the end-of-central-directory record, or npos.
inline std::size_t EndRecordAt(const std::string& zip) {
    return zip.rfind("PK\x05\x06");
}

inline void PutLe16(std::string& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

inline void PutLe32(std::string& bytes, std::size_t at, std::uint32_t value) {
    PutLe16(bytes, at, static_cast<std::uint16_t>(value & 0xFFFF));
    PutLe16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

/// The local time a DOS date and time stand for, as seconds since the epoch.
inline std::time_t DosToTimeT(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

/// Last-modified time of a file as seconds since the epoch.
inline std::time_t ModifiedTime(const std::wstring& path) {
    const auto fileTime = std::filesystem::last_write_time(ToNativePath(path));
    const auto systemTime = std::chrono::file_clock::to_sys(fileTime);
    return std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::seconds>(systemTime));
}

}  // namespace ombrelta::test
