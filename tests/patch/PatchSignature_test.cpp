#include "patch/PatchSignature.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Base64.h"
#include "common/FileSystem.h"
#include "common/Text.h"
#include "patch/ArchiveExtractor.h"
#include "patch/PatchManifest.h"
#include "tests/patch/ZipTestSupport.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::CountChildren;
using test::FileExists;
using test::TempDir;
using test::WriteFileBytes;

// The public half of fixtures/signing-test-key.pem, which signed fixtures/signed*.zip for version 5.
const char kTestKey[] = "BJVPNFJy9odHRuPOTj6ED7lf7A5AzDWGRvqUqvAgDe+UHHDLyN+AoITYxNtc403gb0fTgQwe/iB04qVRgR2o1Zs=";
const char kOtherKey[] = "BN4iRLKrV9KyItoLgdH5UqVcw9w/iJnC32liTR/6IaGkfxEOoMLs9noWfTrbrb4Bb3YZ2/cF866n1Htwd0e4hdc=";

std::vector<std::uint8_t> Key(const char* base64) {
    return DecodeBase64(base64).value();
}

TEST(PatchManifest, FollowsTheDocumentedLayoutAndMatchesTheSignedDigest) {
    ZipReader reader;
    ASSERT_TRUE(reader.Open(WideToUtf8(test::FixturePath(L"signed.zip"))));
    const std::optional<std::vector<std::uint8_t>> manifest = BuildPatchManifest(reader, 5);
    ASSERT_TRUE(manifest.has_value());
    const std::string bytes(manifest->begin(), manifest->end());
    // Header, version 5, three entries, then "data/a.bin": stored name, flags, size 2000, CRC-32.
    const std::string start = std::string("ombrelta patch manifest 1\n") + std::string("\x05\x00\x03\x00\x00\x00", 6) +
                              std::string("\x0a\x00", 2) + "data/a.bin" + std::string("\x00\xd0\x07\0\0\0\0\0\0", 9) +
                              std::string("\x68\xa7\xdf\x5f", 4);
    EXPECT_EQ(bytes.substr(0, start.size()), start);
    // Each entry: 2 + name + 1 + 8 + 4 + 32 bytes.
    EXPECT_EQ(manifest->size(), 26u + 6 + (47 + 10) + (47 + 10) + (47 + 11));

    const std::optional<PatchSignature> signature = ReadPatchSignature(reader);
    ASSERT_TRUE(signature.has_value());
    EXPECT_EQ(signature->version, 5);
    EXPECT_EQ(Sha256Hasher::Of(*manifest), signature->manifestDigest);
    EXPECT_NE(BuildPatchManifest(reader, 6), manifest);
}

TEST(PatchSignature, ReadsOnlyWellFormedText) {
    const std::string digest(64, 'a');
    const std::string good = "version=5\nmanifest=" + digest + "\nsignature=MEUCIQ==\n";
    const std::optional<PatchSignature> parsed = ParsePatchSignature(good);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(FormatPatchSignature(*parsed), good);
    EXPECT_TRUE(ParsePatchSignature("signature=MEUCIQ==\r\nversion=5\r\nmanifest=" + digest + "\r\n"));
    for (const std::string& text : {
             "version=5\nmanifest=" + digest + "\n",
             good + "version=5\n",
             good + "comment=x\n",
             good.substr(0, good.size() - 1),
             "version=0\nmanifest=" + digest + "\nsignature=MEUCIQ==\n",
             "version=65536\nmanifest=" + digest + "\nsignature=MEUCIQ==\n",
             "version=+5\nmanifest=" + digest + "\nsignature=MEUCIQ==\n",
             "version=5\nmanifest=" + digest.substr(1) + "\nsignature=MEUCIQ==\n",
             "version=5\nmanifest=" + std::string(64, 'g') + "\nsignature=MEUCIQ==\n",
             "version=5\nmanifest=" + digest + "\nsignature=MEUCIQ=\n",
             "version=5\nmanifest=" + digest + "\nsignature=\n",
         }) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParsePatchSignature(text).has_value());
    }
}

TEST(ExtractSignedArchive, WritesNothingUnlessTheSignatureHolds) {
    using Change = std::function<void(std::string&)>;
    struct Row {
        const char* label;
        const wchar_t* fixture;
        Change change;
        std::vector<std::uint8_t> key;
        std::uint16_t version;
        SignedExtraction expected;
    };
    const Change none = [](std::string&) {};
    const std::vector<std::uint8_t> key = Key(kTestKey);
    const std::vector<Row> rows = {
        {"signed", L"signed.zip", none, key, 5, SignedExtraction::Extracted},
        {"unsigned", L"infozip.zip", none, key, 5, SignedExtraction::SignatureRefused},
        {"two signatures", L"signed-twice.zip", none, key, 5, SignedExtraction::SignatureRefused},
        {"other version", L"signed.zip", none, key, 6, SignedExtraction::SignatureRefused},
        {"other key", L"signed.zip", none, Key(kOtherKey), 5, SignedExtraction::SignatureRefused},
        {"malformed key", L"signed.zip", none, {}, 5, SignedExtraction::SignatureRefused},
        {"key cut short", L"signed.zip", none, {key.begin(), key.end() - 1}, 5,
         SignedExtraction::SignatureRefused},
        {"entry changed, CRC-32 fixed up", L"signed.zip", [](std::string& zip) { test::ChangeStoredByte(zip, 0, 7); },
         key, 5, SignedExtraction::SignatureRefused},
        {"entry changed, CRC-32 kept", L"signed.zip",
         [](std::string& zip) { test::ChangeStoredByteKeepingCrc(zip, 1, 2); }, key, 5,
         SignedExtraction::SignatureRefused},
        {"entry damaged", L"signed.zip", [](std::string& zip) { zip[test::EntryDataAt(zip, 0) + 7] ^= 1; },
         key, 5, SignedExtraction::SignatureRefused},
        {"entry renamed", L"signed.zip", [](std::string& zip) { zip[test::CentralHeaderAt(zip, 1) + 46] = 'R'; },
         key, 5, SignedExtraction::SignatureRefused},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir tmp;
        std::string zip = test::FixtureBytes(row.fixture);
        row.change(zip);
        WriteFileBytes(tmp.Child(L"patch.zip"), zip);
        const std::wstring dest = tmp.Child(L"game/");
        EXPECT_EQ(ExtractSignedArchive(tmp.Child(L"patch.zip"), dest, {.publicKey = row.key, .version = row.version}),
                  row.expected);
        if (row.expected != SignedExtraction::Extracted) {
            EXPECT_FALSE(FileExists(dest));
            continue;
        }
        EXPECT_EQ(test::ReadFileBytes(dest + L"readme.txt"), "signed readme\n");
        EXPECT_EQ(test::ReadFileBytes(dest + L"version.dat"), "5\r\n");
        EXPECT_EQ(CountChildren(dest), 3u);  // data, readme.txt, version.dat: no ombrelta.sig
    }
}

TEST(ExtractSignedArchive, ChangedBytesAreStillSoundZipsWithoutTheSignature) {
    TempDir tmp;
    for (const auto& change : {test::ChangeStoredByte, test::ChangeStoredByteKeepingCrc}) {
        std::string zip = test::FixtureBytes(L"signed.zip");
        change(zip, 1, 2);
        WriteFileBytes(tmp.Child(L"patch.zip"), zip);
        EXPECT_TRUE(ExtractArchive(tmp.Child(L"patch.zip"), tmp.Child(L"plain/")));
        EXPECT_NE(test::ReadFileBytes(tmp.Child(L"plain/readme.txt")), "signed readme\n");
    }
    EXPECT_EQ(test::Crc32Of(test::ReadFileBytes(tmp.Child(L"plain/readme.txt"))), 0xd4043551u);
}

}  // namespace
}  // namespace ombrelta
