#include "common/Sha256Instructions.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/DigestHasher.h"
#include "common/Hex.h"

namespace ombrelta {
namespace {

std::string DigestOf(const std::string& text) {
    Sha256Instructions hasher;
    hasher.Update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return BytesToHex(hasher.Finish());
}

TEST(Sha256Instructions, KnownDigests) {
    if (!Sha256Instructions::Available())
        GTEST_SKIP() << "this processor has no SHA instructions";
    // FIPS 180-2 appendix B, and the padding's edge at 55 and 56 bytes.
    EXPECT_EQ(DigestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(DigestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(DigestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(DigestOf(std::string(55, 'a')), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(DigestOf(std::string(56, 'a')), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
    EXPECT_EQ(DigestOf(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Random lengths fed in random pieces agree with the same bytes hashed whole by Sha256Hasher (OpenSSL
// natively; these instructions on Windows when it has them).
TEST(Sha256Instructions, AgreesWithTheSystemDigestInAnyPieces) {
    if (!Sha256Instructions::Available())
        GTEST_SKIP() << "this processor has no SHA instructions";
    std::mt19937 random(27);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint8_t> bytes(random() % 3000);
        for (std::uint8_t& byte : bytes)
            byte = static_cast<std::uint8_t>(random());
        Sha256Instructions hasher;
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t piece = std::min<std::size_t>(bytes.size() - at, random() % 200);
            hasher.Update(bytes.data() + at, piece);
            at += piece;
        }
        const std::optional<Sha256Digest> expected = Sha256Hasher::Of(bytes);
        ASSERT_TRUE(expected.has_value());
        ASSERT_EQ(BytesToHex(hasher.Finish()), BytesToHex(*expected)) << bytes.size() << " bytes";
    }
}

}  // namespace
}  // namespace ombrelta
