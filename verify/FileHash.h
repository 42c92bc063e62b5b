#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace ombrelta {

/// MD5 of a file as 32 lower-case hex digits, read in one pass; empty text when the file is
/// missing, a directory or cannot be read or hashed.
std::string ComputeFileMd5(const std::wstring& path);

/// Two lower-case hex digits per byte, in order.
std::string BytesToHex(std::span<const std::uint8_t> bytes);

}  // namespace ombrelta
