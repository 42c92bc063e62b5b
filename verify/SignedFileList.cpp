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

[[noreturn]] void Malformed() {
    throw std::runtime_error("Malformed signed file list");
}

// Cuts the next space-ended field off line.
std::string_view TakeField(std::string_view& line) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        Malformed();
    std::string_view field = line.substr(0, space);
    line.remove_prefix(space + 1);
    return field;
}

// One spelling per number: no sign, no leading zero.
template <typename Number>
Number ParseNumber(std::string_view text) {
    const std::optional<Number> value = ParseCanonicalDecimal<Number>(text);
    if (!value)
        Malformed();
    return *value;
}

SignedFile ParseFileLine(std::string_view line) {
    SignedFile file;
    file.size = ParseNumber<std::uint32_t>(TakeField(line));
    file.md5 = TakeField(line);
    file.sha256 = TakeField(line);
    // The path is the rest of the line, spaces and all.
    file.path = line;
    if (!IsLowerHex(file.md5, 32) || !IsLowerHex(file.sha256, 64) || file.path.empty() ||
        file.path.find('\r') != std::string::npos)
        Malformed();
    return file;
}

// Reads the header lines, either form; returns where the file lines start.
std::size_t ParseHeader(std::string_view text, std::optional<std::uint16_t>& version) {
    if (text.starts_with(kUnversionedHeaderLine))
        return kUnversionedHeaderLine.size();
    if (!text.starts_with(kHeaderLine))
        Malformed();
    const std::string_view rest = text.substr(kHeaderLine.size());
    const std::size_t end = rest.find('\n');
    if (!rest.starts_with(kVersionPrefix) || end == std::string_view::npos)
        Malformed();
    version = ParseNumber<std::uint16_t>(rest.substr(kVersionPrefix.size(), end - kVersionPrefix.size()));
    return kHeaderLine.size() + end + 1;
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

SignedFileList ParseSignedFileList(std::string_view text) {
    SignedFileList list;
    std::size_t at = ParseHeader(text, list.version);
    std::set<std::string_view> paths;
    while (!text.substr(at).starts_with(kSignaturePrefix)) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            Malformed();
        list.files.push_back(ParseFileLine(text.substr(at, end - at)));
        at = end + 1;
    }
    for (const SignedFile& file : list.files) {
        if (!paths.insert(file.path).second)
            Malformed();
    }
    list.signedText = text.substr(0, at);
    std::string_view line = text.substr(at + kSignaturePrefix.size());
    if (!line.ends_with('\n'))
        Malformed();
    line.remove_suffix(1);
    std::optional<std::vector<std::uint8_t>> signature = DecodeBase64(line);
    if (!signature || signature->empty())
        Malformed();
    list.signature = std::move(*signature);
    return list;
}

const SignedFile* FindSignedFile(const SignedFileList& list, std::string_view path) {
    const auto it = std::find_if(list.files.begin(), list.files.end(),
                                 [path](const SignedFile& file) { return file.path == path; });
    return it == list.files.end() ? nullptr : &*it;
}

}  // namespace ombrelta
