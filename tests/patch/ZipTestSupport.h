#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include <zlib.h>

#include "common/FileSystem.h"
#include "tests/support/TempDir.h"

// Helpers shared by the zip reader and extraction tests: committed fixtures and byte surgery on them.

namespace ombrelta::test {

/// Number of entries directly in a directory.
inline std::size_t CountChildren(const std::wstring& directory) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& child : std::filesystem::directory_iterator(ToNativePath(directory)))
        ++count;
    return count;
}

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

inline std::uint32_t Le32At(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

inline std::uint32_t Crc32Of(std::string_view bytes) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

/// Where the data of the index-th entry (central-directory order) starts in the archive.
inline std::size_t EntryDataAt(const std::string& zip, int index) {
    const std::size_t local = Le32At(zip, CentralHeaderAt(zip, index) + 42);
    return local + 30 + (Le32At(zip, local + 26) & 0xFFFF) + (Le32At(zip, local + 28) & 0xFFFF);
}

/// Changes one byte of a stored entry's data and writes the data's new CRC-32 into both its
/// headers, so that the archive stays sound and only a signature can tell.
inline void ChangeStoredByte(std::string& zip, int index, std::size_t offset) {
    const std::size_t central = CentralHeaderAt(zip, index);
    const std::size_t data = EntryDataAt(zip, index);
    zip[data + offset] = static_cast<char>(zip[data + offset] ^ 0x20);
    const std::uint32_t crc = Crc32Of(std::string_view(zip).substr(data, Le32At(zip, central + 24)));
    PutLe32(zip, central + 16, crc);
    PutLe32(zip, Le32At(zip, central + 42) + 14, crc);
}

/// Changes one byte of a stored entry's data and four more after it so that its CRC-32 stays
/// the same: CRC-32 is linear, so the four bytes that cancel the change solve a 32x32 system.
inline void ChangeStoredByteKeepingCrc(std::string& zip, int index, std::size_t offset) {
    const std::size_t data = EntryDataAt(zip, index);
    const std::size_t size = Le32At(zip, CentralHeaderAt(zip, index) + 24);
    const std::string original = zip.substr(data, size);
    auto crcWithFlips = [&](std::size_t at, std::uint8_t mask, std::uint32_t window) {
        std::string bytes = original;
        bytes[at] = static_cast<char>(bytes[at] ^ mask);
        for (int b = 0; b < 4; ++b)
            bytes[offset + 1 + b] = static_cast<char>(bytes[offset + 1 + b] ^ (window >> (8 * b)));
        return Crc32Of(bytes) ^ Crc32Of(original);
    };
    // Rows of (effect on the CRC, window bits that make it), reduced to echelon form.
    std::uint32_t effect[32], bits[32];
    for (int k = 0; k < 32; ++k) {
        effect[k] = crcWithFlips(offset, 0, 1u << k);
        bits[k] = 1u << k;
    }
    std::uint32_t target = crcWithFlips(offset, 0x20, 0), window = 0;
    for (int bit = 31, row = 0; bit >= 0; --bit) {
        int pivot = row;
        while (pivot < 32 && !(effect[pivot] >> bit & 1))
            ++pivot;
        if (pivot == 32)
            continue;
        std::swap(effect[pivot], effect[row]);
        std::swap(bits[pivot], bits[row]);
        for (int other = 0; other < 32; ++other) {
            if (other != row && (effect[other] >> bit & 1)) {
                effect[other] ^= effect[row];
                bits[other] ^= bits[row];
            }
        }
        if (target >> bit & 1) {
            target ^= effect[row];
            window ^= bits[row];
        }
        ++row;
    }
    zip[data + offset] = static_cast<char>(zip[data + offset] ^ 0x20);
    for (int b = 0; b < 4; ++b)
        zip[data + offset + 1 + b] = static_cast<char>(zip[data + offset + 1 + b] ^ (window >> (8 * b)));
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
