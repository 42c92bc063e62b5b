#include "patch/ZipFormat.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Text.h"
#include "patch/ZipReader.h"
#include "tests/patch/ZipTestSupport.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::CentralHeaderAt;
using test::EndRecordAt;
using test::FixtureBytes;
using test::PutLe16;
using test::PutLe32;
using test::TempDir;

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Writes the bytes as an archive and reports whether it opens.
bool Opens(const TempDir& tmp, const std::string& zip, ZipReader& reader) {
    const std::wstring path = tmp.Child(L"damaged.zip");
    test::WriteFileBytes(path, zip);
    return reader.Open(WideToUtf8(path));
}

std::size_t DataStart(const std::string& zip, std::size_t localHeader) {
    auto le16 = [&](std::size_t at) {
        return static_cast<std::uint8_t>(zip[at]) | static_cast<std::uint8_t>(zip[at + 1]) << 8;
    };
    return localHeader + 30 + le16(localHeader + 26) + le16(localHeader + 28);
}

struct Damage {
    const char* what;
    std::wstring fixture;
    std::function<void(std::string&)> apply;
};

TEST(ZipFormat, DamagedDirectoriesDoNotOpen) {
    const std::vector<Damage> damages = {
        {"entry count beyond the directory bytes", L"infozip.zip",
         [](std::string& z) {
             PutLe16(z, EndRecordAt(z) + 8, 0xFFFE);
             PutLe16(z, EndRecordAt(z) + 10, 0xFFFE);
         }},
        {"directory offset past the end", L"infozip.zip",
         [](std::string& z) { PutLe32(z, EndRecordAt(z) + 16, 0xFFFFFF00); }},
        {"directory size past the end record", L"infozip.zip",
         [](std::string& z) { PutLe32(z, EndRecordAt(z) + 12, 0x7FFFFFFF); }},
        {"second disk", L"infozip.zip", [](std::string& z) { PutLe16(z, EndRecordAt(z) + 4, 1); }},
        {"entries split over disks", L"infozip.zip",
         [](std::string& z) { PutLe16(z, EndRecordAt(z) + 8, 2); }},
        {"central signature", L"infozip.zip", [](std::string& z) { z[CentralHeaderAt(z, 1)] = 'X'; }},
        {"name longer than the directory", L"infozip.zip",
         [](std::string& z) { PutLe16(z, CentralHeaderAt(z, 2) + 28, 0xFFFF); }},
        {"comment longer than the directory", L"sevenzip.zip",
         [](std::string& z) { PutLe16(z, CentralHeaderAt(z, 2) + 32, 0x0100); }},
        {"local header inside the directory", L"infozip.zip",
         [](std::string& z) {
             PutLe32(z, CentralHeaderAt(z, 1) + 42, static_cast<std::uint32_t>(CentralHeaderAt(z, 0)));
         }},
        {"ZIP64 extra field missing", L"infozip-zip64.zip",
         [](std::string& z) {
             const std::size_t extra = CentralHeaderAt(z, 0) + 46 + 9;
             ASSERT_EQ(z.substr(extra, 2), std::string("\x01\x00", 2));
             z[extra] = 0x7F;
         }},
        {"ZIP64 end record moved", L"infozip-zip64.zip",
         [](std::string& z) { PutLe32(z, z.rfind("PK\x06\x07") + 8, 0x00FFFFFF); }},
        {"ZIP64 end record signature", L"infozip-zip64.zip",
         [](std::string& z) { z[z.rfind("PK\x06\x06") + 3] = 9; }},
        {"ZIP64 entry count beyond the directory", L"infozip-zip64.zip",
         [](std::string& z) {
             const std::size_t record = z.rfind("PK\x06\x06");
             PutLe32(z, record + 24, 1000);
             PutLe32(z, record + 32, 1000);
         }},
    };
    TempDir tmp;
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        std::string zip = FixtureBytes(damage.fixture);
        damage.apply(zip);
        ZipReader reader;
        EXPECT_FALSE(Opens(tmp, zip, reader));
        EXPECT_EQ(reader.EntryCount(), 0u);
    }
}

TEST(ZipFormat, DamagedEntriesFailTheirExtraction) {
    struct EntryDamage {
        const char* what;
        std::function<void(std::string&)> apply;
        bool targetCreated;
    };
    // Entry 1 of infozip.zip is data/a.bin: 3000 deflated bytes.
    const std::vector<EntryDamage> damages = {
        {"local signature", [](std::string& z) { z[z.find("PK\x03\x04", 1)] = 'X'; }, false},
        {"local name past the directory",
         [](std::string& z) { PutLe16(z, z.find("PK\x03\x04", 1) + 26, 0xFFFF); }, false},
        {"compressed size past the directory",
         [](std::string& z) { PutLe32(z, CentralHeaderAt(z, 1) + 20, 0x00FFFFFF); }, false},
        {"declared size too small", [](std::string& z) { PutLe32(z, CentralHeaderAt(z, 1) + 24, 100); },
         true},
        {"declared size too large", [](std::string& z) { PutLe32(z, CentralHeaderAt(z, 1) + 24, 4000); },
         true},
        {"CRC-32", [](std::string& z) { z[CentralHeaderAt(z, 1) + 16] ^= 0x55; }, true},
        {"deflate data", [](std::string& z) { z[DataStart(z, z.find("PK\x03\x04", 1)) + 2] ^= 0x7F; }, true},
        {"compressed size cut short", [](std::string& z) { PutLe32(z, CentralHeaderAt(z, 1) + 20, 5); },
         true},
        {"unknown method", [](std::string& z) { PutLe16(z, CentralHeaderAt(z, 1) + 10, 99); }, false},
        {"stored sizes differ",
         [](std::string& z) {
             PutLe16(z, CentralHeaderAt(z, 1) + 10, 0);
             PutLe32(z, CentralHeaderAt(z, 1) + 24, 3000);
         },
         false},
    };
    TempDir tmp;
    for (const EntryDamage& damage : damages) {
        SCOPED_TRACE(damage.what);
        std::string zip = FixtureBytes(L"infozip.zip");
        damage.apply(zip);
        ZipReader reader;
        ASSERT_TRUE(Opens(tmp, zip, reader));
        const std::wstring out = tmp.Child(L"out.bin");
        (void)DeleteFileAt(out);
        EXPECT_FALSE(reader.ExtractToFile(1, WideToUtf8(out)));
        EXPECT_EQ(test::FileExists(out), damage.targetCreated);
        if (damage.targetCreated) {
            EXPECT_LE(GetFileSize(out).value_or(0), 3000u);
        }
        // The other entries are untouched by the damage.
        EXPECT_TRUE(reader.ExtractToFile(2, WideToUtf8(tmp.Child(L"readme.txt"))));
    }
}

TEST(ZipFormat, OutputBeyondTheDeclaredSizeIsNeverWritten) {
    TempDir tmp;
    std::string zip = FixtureBytes(L"infozip.zip");
    PutLe32(zip, CentralHeaderAt(zip, 1) + 24, 100);
    ZipReader reader;
    ASSERT_TRUE(Opens(tmp, zip, reader));
    const std::wstring out = tmp.Child(L"out.bin");
    EXPECT_FALSE(reader.ExtractToFile(1, WideToUtf8(out)));
    EXPECT_EQ(GetFileSize(out).value_or(1000), 0u);
}

TEST(ZipFormat, EveryTruncationFailsCleanly) {
    TempDir tmp;
    for (const wchar_t* fixture : {L"infozip.zip", L"infozip-zip64.zip", L"infozip-stream.zip"}) {
        const std::string zip = FixtureBytes(fixture);
        for (std::size_t length = 0; length < zip.size(); ++length) {
            SCOPED_TRACE(WideToUtf8(fixture) + " cut to " + std::to_string(length));
            ZipReader reader;
            EXPECT_FALSE(Opens(tmp, zip.substr(0, length), reader));
        }
    }
}

TEST(ZipFormat, RandomBytesDoNotOpen) {
    TempDir tmp;
    std::mt19937 random(12345);
    for (std::size_t size : {0, 21, 22, 100, 70000}) {
        SCOPED_TRACE(size);
        std::string bytes(size, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        ZipReader reader;
        EXPECT_FALSE(Opens(tmp, bytes, reader));
    }
}

TEST(ZipFormat, CommentHoldingASignatureStillOpens) {
    TempDir tmp;
    std::string zip = FixtureBytes(L"infozip.zip");
    const std::string comment = std::string("PK\x05\x06", 4) + std::string(18, '\0') + "tail";
    PutLe16(zip, EndRecordAt(zip) + 20, static_cast<std::uint16_t>(comment.size()));
    zip += comment;
    ZipReader reader;
    ASSERT_TRUE(Opens(tmp, zip, reader));
    EXPECT_EQ(reader.EntryCount(), 3u);
}

TEST(ZipFormat, BytesAfterTheEndRecordAreTolerated) {
    TempDir tmp;
    ZipReader reader;
    ASSERT_TRUE(Opens(tmp, FixtureBytes(L"infozip.zip") + "padding after the archive", reader));
    EXPECT_EQ(reader.EntryCount(), 3u);
}

TEST(ZipFormat, FewerEntriesThanTheDirectoryHoldsAreRead) {
    TempDir tmp;
    std::string zip = FixtureBytes(L"infozip.zip");
    PutLe16(zip, EndRecordAt(zip) + 8, 2);
    PutLe16(zip, EndRecordAt(zip) + 10, 2);
    ZipReader reader;
    ASSERT_TRUE(Opens(tmp, zip, reader));
    EXPECT_EQ(reader.EntryCount(), 2u);
}

TEST(ZipFormat, RecordParsersCheckTheirInput) {
    using zip::CommentFit;
    const std::vector<std::uint8_t> shortTail(21, 0);
    EXPECT_FALSE(zip::FindEndRecord(shortTail, 21, 21, CommentFit::WithinTheFile));
    const std::vector<std::uint8_t> end = Bytes(std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    EXPECT_FALSE(zip::FindEndRecord(end, 10, 10, CommentFit::WithinTheFile));
    ASSERT_TRUE(zip::FindEndRecord(end, 100, 100, CommentFit::EndsTheFile));
    EXPECT_EQ(zip::FindEndRecord(end, 100, 100, CommentFit::EndsTheFile)->position, 78u);
    EXPECT_FALSE(zip::FindEndRecord(end, 100, 78, CommentFit::WithinTheFile));
    const std::vector<std::uint8_t> padded = Bytes(std::string("PK\x05\x06", 4) + std::string(20, '\0'));
    EXPECT_FALSE(zip::FindEndRecord(padded, 24, 24, CommentFit::EndsTheFile));
    EXPECT_TRUE(zip::FindEndRecord(padded, 24, 24, CommentFit::WithinTheFile));
    EXPECT_FALSE(zip::ParseZip64Locator(std::vector<std::uint8_t>(20, 0)));
    EXPECT_FALSE(zip::ParseZip64EndRecord(std::vector<std::uint8_t>(56, 0)));

    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    EXPECT_FALSE(zip::IsPlausibleDirectory({.entryCount = 1, .offset = kMax, .size = 46}, kMax));
    EXPECT_FALSE(zip::IsPlausibleDirectory({.entryCount = 2, .offset = 0, .size = 91}, 100));
    EXPECT_TRUE(zip::IsPlausibleDirectory({.entryCount = 2, .offset = 8, .size = 92}, 100));
    EXPECT_FALSE(zip::ParseCentralDirectory(std::vector<std::uint8_t>(45, 0), 1, 100));

    const zip::Entry entry{.compressedSize = kMax - 10, .localHeaderOffset = 0};
    std::vector<std::uint8_t> local = Bytes(std::string("PK\x03\x04", 4) + std::string(26, '\0'));
    EXPECT_FALSE(zip::LocalDataOffset(local, entry, kMax));
    const zip::Entry small{.compressedSize = 10, .localHeaderOffset = 0};
    EXPECT_EQ(zip::LocalDataOffset(local, small, 40), std::optional<std::uint64_t>(30));
    EXPECT_FALSE(zip::LocalDataOffset(local, small, 39));
}

}  // namespace
}  // namespace ombrelta
