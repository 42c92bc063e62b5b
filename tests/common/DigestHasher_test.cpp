#include "common/DigestHasher.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/ComputerName.h"
#include "common/Hex.h"

namespace ombrelta {
namespace {

template <typename Hasher>
std::string DigestOfPieces(const std::vector<std::string>& pieces) {
    std::optional<Hasher> hasher = Hasher::Create();
    EXPECT_TRUE(hasher.has_value());
    if (!hasher)
        return "";
    for (const std::string& piece : pieces)
        EXPECT_TRUE(hasher->Update(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()));
    std::optional<typename Hasher::Digest> digest = hasher->Finish();
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
        EXPECT_EQ(DigestOfPieces<Md5Hasher>(row.pieces), row.md5);
    }
}

TEST(Sha256Hasher, KnownDigests) {
    struct Row {
        std::vector<std::string> pieces;
        const char* sha256;
    };
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    // FIPS 180-2 appendix B, fed whole and in pieces.
    const std::vector<Row> rows = {
        {{}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {{"abc"}, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {{"a", "", "bc"}, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {{twoBlocks}, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {{twoBlocks.substr(0, 31), twoBlocks.substr(31)},
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {{std::string(1000000, 'a')}, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sha256);
        EXPECT_EQ(DigestOfPieces<Sha256Hasher>(row.pieces), row.sha256);
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
