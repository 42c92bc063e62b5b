#pragma once

#include <cstdint>
#include <string>

namespace ombrelta {

/// The installed version: the first line of installDir + fileName ("version.dat") as a decimal
/// number, taken modulo 65536. installDir ends with a separator (as GetExecutableDirectory()).
/// Every failure (missing file, no number, outside the signed 32-bit range) gives 0.
std::uint16_t ReadLocalVersion(const std::wstring& installDir, const std::wstring& fileName);

/// The same for a file in the running program's own folder.
std::uint16_t ReadLocalVersion(const std::wstring& fileName);

}  // namespace ombrelta
