#include "verify/SignedFileList.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include "common/Base64.h"
#include "common/Decimal.h"

namespace ombrelta {
namespace {

constexpr std::string_view kUnversionedHeaderLine = "ombrelta-files 1\n";
constexpr std::string_view kHeaderLine = "ombrelta-files 2\n";
constexpr std::string_view kVersionPrefix = "version=";
constexpr std::string_view kSignaturePrefix = "signature=";

bool IsLowerHex(std::string_view text, std::size_t length) {
    return text.size() == length && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

constexpr char kMalformed[] = "Malformed signed file list";

// Cuts the next space-ended field off line; nothing when no space is left.
std::optional<std::string_view> TakeField(std::string_view& line) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return std::nullopt;
    std::string_view field = line.substr(0, space);
    line.remove_prefix(space + 1);
    return field;
}

// One spelling per number: no sign, no leading zero.
template <typename Number>
std::optional<Number> ParseNumber(std::optional<std::string_view> text) {
    return text ? ParseCanonicalDecimal<Number>(*text) : std::nullopt;
}

std::optional<SignedFile> ParseFileLine(std::string_view line) {
    const std::optional<std::uint32_t> size = ParseNumber<std::uint32_t>(TakeField(line));
    const std::optional<std::string_view> md5 = size ? TakeField(line) : std::nullopt;
    const std::optional<std::string_view> sha256 = md5 ? TakeField(line) : std::nullopt;
    // The path is the rest of the line, spaces and all.
    if (!sha256 || !IsLowerHex(*md5, 32) || !IsLowerHex(*sha256, 64) || line.empty() ||
        line.find('\r') != std::string_view::npos)
        return std::nullopt;
    return SignedFile{
        .path = std::string(line), .size = *size, .md5 = std::string(*md5), .sha256 = std::string(*sha256)};
}

// Reads the header lines, either form; returns where the file lines start, nothing for a bad
// header.
std::optional<std::size_t> ParseHeader(std::string_view text, std::optional<std::uint16_t>& version) {
    if (text.starts_with(kUnversionedHeaderLine))
        return kUnversionedHeaderLine.size();
    if (!text.starts_with(kHeaderLine))
        return std::nullopt;
    const std::string_view rest = text.substr(kHeaderLine.size());
    const std::size_t end = rest.find('\n');
    if (!rest.starts_with(kVersionPrefix) || end == std::string_view::npos)
        return std::nullopt;
    version = ParseNumber<std::uint16_t>(rest.substr(kVersionPrefix.size(), end - kVersionPrefix.size()));
    if (!version)
        return std::nullopt;
    return kHeaderLine.size() + end + 1;
}

// The file lines from at up to the signature line, each path once; at ends at the signature line.
bool ParseFileLines(std::string_view text, std::size_t& at, std::vector<SignedFile>& files) {
    std::set<std::string_view> paths;
    while (!text.substr(at).starts_with(kSignaturePrefix)) {
        const std::size_t end = text.find('\n', at);
        std::optional<SignedFile> file =
            end == std::string_view::npos ? std::nullopt : ParseFileLine(text.substr(at, end - at));
        if (!file)
            return false;
        files.push_back(std::move(*file));
        at = end + 1;
    }
    return std::all_of(files.begin(), files.end(),
                       [&](const SignedFile& file) { return paths.insert(file.path).second; });
}

// The signature line's bytes: base64 ending in exactly one line break, nothing after it.
std::optional<std::vector<std::uint8_t>> ParseSignatureLine(std::string_view line) {
    if (!line.ends_with('\n'))
        return std::nullopt;
    line.remove_suffix(1);
    std::optional<std::vector<std::uint8_t>> signature = DecodeBase64(line);
    if (!signature || signature->empty())
        return std::nullopt;
    return signature;
}

}  // namespace

std::string FormatSignedFiles(const std::vector<SignedFile>& files, std::optional<std::uint16_t> version) {
    std::string text(version ? kHeaderLine : kUnversionedHeaderLine);
    if (version)
        text += std::string(kVersionPrefix) + std::to_string(*version) + '\n';
    for (const SignedFile& file : files) {
        if (file.path.empty() || file.path.find_first_of("\r\n") != std::string::npos ||
            !IsLowerHex(file.md5, 32) || !IsLowerHex(file.sha256, 64))
            throw std::runtime_error("Cannot sign file path: " + file.path);
        text += std::to_string(file.size) + ' ' + file.md5 + ' ' + file.sha256 + ' ' + file.path + '\n';
    }
    return text;
}

std::string AppendSignatureLine(std::string_view signedText, std::span<const std::uint8_t> derSignature) {
    return std::string(signedText) + std::string(kSignaturePrefix) + EncodeBase64(derSignature) + "\n";
}

SignedFileListReading ParseSignedFileList(std::string_view text) {
    SignedFileList list;
    std::optional<std::size_t> at = ParseHeader(text, list.version);
    if (!at || !ParseFileLines(text, *at, list.files))
        return {.list = std::nullopt, .fault = kMalformed};
    list.signedText = text.substr(0, *at);
    std::optional<std::vector<std::uint8_t>> signature =
        ParseSignatureLine(text.substr(*at + kSignaturePrefix.size()));
    if (!signature)
        return {.list = std::nullopt, .fault = kMalformed};
    list.signature = std::move(*signature);
    return {.list = std::move(list), .fault = {}};
}

const SignedFile* FindSignedFile(const SignedFileList& list, std::string_view path) {
    const auto it = std::find_if(list.files.begin(), list.files.end(),
                                 [path](const SignedFile& file) { return file.path == path; });
    return it == list.files.end() ? nullptr : &*it;
}

}  // namespace ombrelta
