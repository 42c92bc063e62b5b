#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ombrelta {

/// The most base URLs the `mirror` key takes.
constexpr std::size_t kMaxMirrors = 4;

/// The base URLs of a `mirror` value: one to four, separated by commas, each starting with
/// "http://" or "https://" (any letter case) followed by a host, without a trailing '/'.
/// Empty when the value is empty or any part is unusable: another scheme, no host, a user or
/// password, a space or control character, a query or fragment, or more than four parts.
std::vector<std::string> ParseMirrorBases(std::string_view value);

/// text with every byte outside RFC 3986's unreserved set (letters, digits, "-._~") written as
/// '%' and two upper-case hex digits.
std::string PercentEncode(std::string_view text);

/// Where a mirror serves the archive of a patch: BASE/patches/NAME, NAME percent-encoded.
std::string PatchObjectUrl(std::string_view base, std::string_view fileName);

/// Where a mirror serves a game file by content: BASE/md5/MD5 in lower-case hex; empty when md5
/// is not 32 hex digits, so that such a file comes from the server only.
std::string FileObjectUrl(std::string_view base, std::string_view md5);

/// Where a mirror serves a game file's block map: BASE/blocks/MD5, empty as for FileObjectUrl.
std::string BlockMapUrl(std::string_view base, std::string_view md5);

/// The host and port part of a base URL ("host:port"), for naming a mirror in a log.
std::string MirrorHost(std::string_view base);

}  // namespace ombrelta
