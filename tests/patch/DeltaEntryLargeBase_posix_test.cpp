// A large base's SHA-256 is taken beside the decoding; the frames are made here with the native
// zstd's compressor (the Windows build links only its decoder).
#include <cstdint>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <zstd.h>

#include "common/DigestHasher.h"
#include "patch/ArchiveExtractor.h"
#include "patch/DeltaHeader.h"
#include "tests/patch/ZipTestSupport.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::CountChildren;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::span<const std::uint8_t> BytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Header and a fast frame with base as its prefix, as "ombrelta-patch make --delta" lays them out.
std::string DeltaEntryBytes(const std::string& base, const std::string& result) {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_enableLongDistanceMatching, 1);
    ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, 26);
    ZSTD_CCtx_refPrefix(context, base.data(), base.size());
    std::string frame(ZSTD_compressBound(result.size()), '\0');
    const std::size_t size = ZSTD_compress2(context, frame.data(), frame.size(), result.data(), result.size());
    ZSTD_freeCCtx(context);
    frame.resize(ZSTD_isError(size) ? 0 : size);
    const DeltaHeader header{base.size(), *Sha256Hasher::Of(BytesOf(base)), result.size(),
                             *Sha256Hasher::Of(BytesOf(result))};
    const std::vector<std::uint8_t> headerBytes = FormatDeltaHeader(header);
    return std::string(headerBytes.begin(), headerBytes.end()) + frame;
}

// An archive of one stored entry.
std::string StoredZip(const std::string& name, const std::string& data) {
    std::string zip;
    const auto le16 = [&](std::uint32_t value) { zip.append({static_cast<char>(value), static_cast<char>(value >> 8)}); };
    const auto le32 = [&](std::uint32_t value) { le16(value & 0xFFFF), le16(value >> 16); };
    const std::uint32_t crc = test::Crc32Of(data), size = static_cast<std::uint32_t>(data.size());
    const auto common = [&] {  // version needed .. name length, both headers alike
        for (std::uint32_t field : {20u, 0u, 0u, 0u, 0x21u})
            le16(field);
        le32(crc), le32(size), le32(size), le16(static_cast<std::uint32_t>(name.size()));
    };
    le32(0x04034b50), common(), le16(0), zip += name + data;
    const std::uint32_t central = static_cast<std::uint32_t>(zip.size());
    le32(0x02014b50), le16(20), common();
    for (std::uint32_t field : {0u, 0u, 0u, 0u})
        le16(field);
    le32(0), le32(0), zip += name;
    const std::uint32_t centralSize = static_cast<std::uint32_t>(zip.size()) - central;
    le32(0x06054b50), le16(0), le16(0), le16(1), le16(1), le32(centralSize), le32(central), le16(0);
    return zip;
}

TEST(DeltaEntryLargeBase, CheckedBesideTheDecodingAndSkippedWhenItDiffers) {
    std::mt19937 random(27);
    std::string base(17u << 20, '\0');
    for (char& byte : base)
        byte = static_cast<char>(random());
    std::string result = base;
    result.replace(5u << 20, 11, "a new level");
    const std::string zip = StoredZip("data/world.pak.ombrelta-delta", DeltaEntryBytes(base, result));

    for (const bool intact : {true, false}) {
        SCOPED_TRACE(intact ? "base intact" : "base changed in its last byte");
        TempDir tmp;
        const std::wstring pak = tmp.Child(L"install/data/world.pak");
        std::string installed = base;
        if (!intact)
            installed.back() ^= 1;
        WriteFileBytes(pak, installed);
        WriteFileBytes(tmp.Child(L"patch.zip"), zip);

        EXPECT_TRUE(ExtractArchive(tmp.Child(L"patch.zip"), tmp.Child(L"install/"), nullptr, DeltaEntries::Applied));
        EXPECT_TRUE(ReadFileBytes(pak) == (intact ? result : installed));
        EXPECT_EQ(CountChildren(tmp.Child(L"install/data")), 1u);
    }
}

}  // namespace
}  // namespace ombrelta
