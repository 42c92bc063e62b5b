#include "common/DigestHasher.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "verify/FileHash.h"

namespace ombrelta {
namespace {

std::string DigestOfPieces(const std::vector<std::string>& pieces) {
    std::optional<Sha256Hasher> hasher = Sha256Hasher::Create();
    EXPECT_TRUE(hasher.has_value());
    if (!hasher)
        return "";
    for (const std::string& piece : pieces)
        EXPECT_TRUE(hasher->Update(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()));
    std::optional<Sha256Digest> digest = hasher->Finish();
    EXPECT_TRUE(digest.has_value());
    return digest ? BytesToHex(*digest) : "";
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
        EXPECT_EQ(DigestOfPieces(row.pieces), row.sha256);
    }
}

}  // namespace
}  // namespace ombrelta
