#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace ombrelta {

/// MD5 of a file as 32 lower-case hex digits, read in one pass of 8192-byte blocks; empty text
/// when the file is missing, a directory or cannot be opened or hashed. A read error part way
/// gives the digest of the bytes read before it.
std::string ComputeFileMd5(const std::wstring& path);

/// ComputeFileMd5 that asks stop() between blocks and gives up, returning nothing, once it says
/// true. Lets a thread hashing ahead drop work nobody needs any more.
std::optional<std::string> ComputeFileMd5Until(const std::wstring& path, const std::function<bool()>& stop);

/// Two lower-case hex digits per byte, in order.
std::string BytesToHex(std::span<const std::uint8_t> bytes);

}  // namespace ombrelta
