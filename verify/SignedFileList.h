#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ombrelta {

/// The game file that signs all the others, by its path in the hash list.
inline constexpr char kSignedFileListName[] = "ombrelta-files.sig";

/// One game file as the signed list records it.
struct SignedFile {
    std::string path;     // exactly as the server's hash list sends it
    std::uint32_t size = 0;
    std::string md5;      // 32 lower-case hex digits
    std::string sha256;   // 64 lower-case hex digits
};

/// A parsed "ombrelta-files.sig": its version, files, the bytes its signature covers and the
/// signature.
struct SignedFileList {
    /// The installed version the list is for; absent in a list written before lists had one.
    std::optional<std::uint16_t> version;
    std::vector<SignedFile> files;
    std::string signedText;
    std::vector<std::uint8_t> signature;  // DER, as OpenSSL writes it
};

/// The signed part of the list: the lines "ombrelta-files 2" and "version=" with the version, then
/// per file, in the order given, "size md5 sha256 path" ending in "\n". Without a version, the
/// unversioned form of before: "ombrelta-files 1", then the files. Throws std::runtime_error
/// "Cannot sign file path: " and the path for an empty path or one holding a line break, or a
/// digest of the wrong form.
std::string FormatSignedFiles(const std::vector<SignedFile>& files, std::optional<std::uint16_t> version);

/// The whole list: signedText followed by "signature=", the base64 of derSignature and "\n".
std::string AppendSignatureLine(std::string_view signedText, std::span<const std::uint8_t> derSignature);

/// A list as ParseSignedFileList read it, or why the text is none.
struct SignedFileListReading {
    std::optional<SignedFileList> list;
    /// "Malformed signed file list" when list is absent; empty otherwise.
    std::string fault;
};

/// Reads a whole list as AppendSignatureLine writes it, either form; no list, with its fault,
/// for an unknown header, a bad version line, a bad line, a path listed twice, a missing or
/// undecodable signature line, or anything after it. Never throws but std::bad_alloc.
SignedFileListReading ParseSignedFileList(std::string_view text);

/// The file of the list with exactly that path, or null.
const SignedFile* FindSignedFile(const SignedFileList& list, std::string_view path);

}  // namespace ombrelta
