#include "common/DigestHasher.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/ComputerName.h"
#include "verify/FileHash.h"

namespace ombrelta {
namespace {

std::string DigestOfPieces(const std::vector<std::string>& pieces) {
    std::optional<Md5Hasher> hasher = Md5Hasher::Create();
    EXPECT_TRUE(hasher.has_value());
    if (!hasher)
        return "";
    for (const std::string& piece : pieces)
        EXPECT_TRUE(hasher->Update(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()));
    std::optional<Md5Digest> digest = hasher->Finish();
    EXPECT_TRUE(digest.has_value());
    return digest ? BytesToHex(*digest) : "";
}

TEST(Md5Hasher, KnownDigests) {
    struct Row {
        std::vector<std::string> pieces;
        const char* md5;
    };
    // RFC 1321, appendix A.5, fed whole and in pieces.
    const std::vector<Row> rows = {
        {{}, "d41d8cd98f00b204e9800998ecf8427e"},
        {{""}, "d41d8cd98f00b204e9800998ecf8427e"},
        {{"a"}, "0cc175b9c0f1b6a831c399e269772661"},
        {{"abc"}, "900150983cd24fb0d6963f7d28e17f72"},
        {{"a", "", "bc"}, "900150983cd24fb0d6963f7d28e17f72"},
        {{"message digest"}, "f96b697d7cb7938d525a2f31aaf161d0"},
        {{"abcdefghijklmnopqrstuvwxyz"}, "c3fcd3d76192e4007dfb496cca67e13b"},
        {{"12345678901234567890123456789012345678901234567890123456789012345678901234567890"},
         "57edf4a22be3c955ac49da2e2107b67a"},
        {{"1234567890123456789012345678901234567890", "1234567890123456789012345678901234567890"},
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.md5);
        EXPECT_EQ(DigestOfPieces(row.pieces), row.md5);
    }
}

TEST(Md5Hasher, SpentAfterFinish) {
    std::optional<Md5Hasher> hasher = Md5Hasher::Create();
    ASSERT_TRUE(hasher.has_value());
    ASSERT_TRUE(hasher->Finish().has_value());
    const std::uint8_t byte = 1;
    EXPECT_FALSE(hasher->Update(&byte, 1));
    EXPECT_FALSE(hasher->Finish().has_value());
}

TEST(Md5Hasher, MovedFromHasherRefusesData) {
    std::optional<Md5Hasher> first = Md5Hasher::Create();
    ASSERT_TRUE(first.has_value());
    Md5Hasher second = std::move(*first);
    const std::uint8_t byte = 'a';
    EXPECT_FALSE(first->Update(&byte, 1));
    ASSERT_TRUE(second.Update(&byte, 1));
    std::optional<Md5Digest> digest = second.Finish();
    ASSERT_TRUE(digest.has_value());
    EXPECT_EQ(BytesToHex(*digest), "0cc175b9c0f1b6a831c399e269772661");
}

TEST(GetComputerNameNarrow, FitsTheSixteenByteBuffer) {
    std::optional<std::string> name = GetComputerNameNarrow();
    if (!name)
        GTEST_SKIP() << "this machine's name does not fit in 15 characters";
    EXPECT_LE(name->size(), 15u);
    EXPECT_EQ(name->find('\0'), std::string::npos);
}

}  // namespace
}  // namespace ombrelta
