#include "verify/SignedFileList.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

const std::string kMd5(32, 'a');
const std::string kSha256(64, 'b');

TEST(SignedFileList, FormatsAndParsesBack) {
    const std::vector<SignedFile> files = {{.path = "a.bin", .size = 6, .md5 = kMd5, .sha256 = kSha256},
                                           {.path = "dir/b c.bin", .size = 0, .md5 = kMd5, .sha256 = kSha256}};
    const std::string signedText = FormatSignedFiles(files, std::nullopt);
    EXPECT_EQ(signedText, "ombrelta-files 1\n6 " + kMd5 + " " + kSha256 + " a.bin\n0 " + kMd5 + " " + kSha256 +
                              " dir/b c.bin\n");
    const std::string text = AppendSignatureLine(signedText, std::vector<std::uint8_t>{0x30, 0x01, 0xFF});
    EXPECT_TRUE(text.ends_with("\nsignature=MAH/\n"));
    const SignedFileList list = ParseSignedFileList(text).list.value();
    EXPECT_EQ(list.signedText, signedText);
    EXPECT_EQ(list.signature, (std::vector<std::uint8_t>{0x30, 0x01, 0xFF}));
    ASSERT_EQ(list.files.size(), 2u);
    EXPECT_EQ(FindSignedFile(list, "dir/b c.bin"), &list.files[1]);
    EXPECT_EQ(list.files[1].size, 0u);
    EXPECT_EQ(FindSignedFile(list, "dir\\b c.bin"), nullptr);
    EXPECT_THROW(FormatSignedFiles({{.path = "a\nb", .size = 1, .md5 = kMd5, .sha256 = kSha256}}, 1),
                 std::runtime_error);
}

TEST(SignedFileList, CarriesItsVersionAndReadsTheUnversionedFormToo) {
    const std::vector<SignedFile> files = {{.path = "a.bin", .size = 6, .md5 = kMd5, .sha256 = kSha256}};
    const std::vector<std::uint8_t> signature = {0x30, 0x01, 0xFF};
    struct Row {
        std::optional<std::uint16_t> version;
        std::string header;
    };
    const std::vector<Row> rows = {{0, "ombrelta-files 2\nversion=0\n"},
                                   {65535, "ombrelta-files 2\nversion=65535\n"},
                                   {std::nullopt, "ombrelta-files 1\n"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.header);
        const std::string signedText = FormatSignedFiles(files, row.version);
        EXPECT_EQ(signedText, row.header + "6 " + kMd5 + " " + kSha256 + " a.bin\n");
        const SignedFileList list =
            ParseSignedFileList(AppendSignatureLine(signedText, signature)).list.value();
        EXPECT_EQ(list.version, row.version);
        EXPECT_EQ(list.signedText, signedText);
        ASSERT_EQ(list.files.size(), 1u);
    }
}

TEST(SignedFileList, MalformedListsAreRefused) {
    const std::string line = "6 " + kMd5 + " " + kSha256 + " a.bin\n";
    const std::string signature = "signature=MAH/\n";
    const std::vector<std::string> rows = {
        "",
        "ombrelta-files 2\n" + line + signature,
        "ombrelta-files 2\nversion=\n" + line + signature,
        "ombrelta-files 2\nversion=05\n" + line + signature,
        "ombrelta-files 2\nversion=65536\n" + line + signature,
        "ombrelta-files 2\nversion=-1\n" + line + signature,
        "ombrelta-files 2\nversion=5 \n" + line + signature,
        "ombrelta-files 2\nversion=5",
        "ombrelta-files 2\nversion=5\nversion=5\n" + line + signature,
        "ombrelta-files 1\nversion=5\n" + line + signature,
        "ombrelta-files 3\nversion=5\n" + line + signature,
        "ombrelta-files 1\n" + line,
        "ombrelta-files 1\n" + line + "signature=MAH/",
        "ombrelta-files 1\n" + line + "signature=\n",
        "ombrelta-files 1\n" + line + "signature=MAH\n",
        "ombrelta-files 1\n" + line + signature + "x",
        "ombrelta-files 1\n" + line + line + signature,
        "ombrelta-files 1\n-6 " + kMd5 + " " + kSha256 + " a.bin\n" + signature,
        "ombrelta-files 1\n06 " + kMd5 + " " + kSha256 + " a.bin\n" + signature,
        "ombrelta-files 1\n4294967296 " + kMd5 + " " + kSha256 + " a.bin\n" + signature,
        "ombrelta-files 1\n6 " + std::string(32, 'A') + " " + kSha256 + " a.bin\n" + signature,
        "ombrelta-files 1\n6 " + kMd5 + " " + kSha256.substr(1) + " a.bin\n" + signature,
        "ombrelta-files 1\n6 " + kMd5 + " " + kSha256 + " \n" + signature,
        "ombrelta-files 1\n6 " + kMd5 + " " + kSha256 + "\n" + signature,
    };
    for (const std::string& row : rows) {
        SCOPED_TRACE(row);
        const SignedFileListReading reading = ParseSignedFileList(row);
        EXPECT_FALSE(reading.list.has_value());
        EXPECT_EQ(reading.fault, "Malformed signed file list");
    }
}

}  // namespace
}  // namespace ombrelta
