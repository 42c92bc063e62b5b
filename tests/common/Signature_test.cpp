#include "common/Signature.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Base64.h"

namespace ombrelta {
namespace {

// Made once with the OpenSSL command-line tool:
//   openssl ecparam -name prime256v1 -genkey -noout -out key.pem
//   openssl ec -in key.pem -pubout -outform DER | tail -c 65 | base64
//   printf MESSAGE | openssl dgst -sha256 -sign key.pem | base64
const char kPublicKey[] =
    "BJVPNFJy9odHRuPOTj6ED7lf7A5AzDWGRvqUqvAgDe+UHHDLyN+AoITYxNtc403gb0fTgQwe/iB04qVRgR2o1Zs=";
const char kOtherPublicKey[] =
    "BN4iRLKrV9KyItoLgdH5UqVcw9w/iJnC32liTR/6IaGkfxEOoMLs9noWfTrbrb4Bb3YZ2/cF866n1Htwd0e4hdc=";

struct Signed {
    std::string message;
    const char* signature;
};
// s with a leading zero byte, r with one, a plain one, and r one byte short of 32.
const Signed kSigned[] = {
    {"", "MEUCIBy0kkD3oCOVe7hwVPJhR6cw400caTHIalRkCDMSJbELAiEAg/CMlGZOFieEMHySJ063WQhSPy5Hb8BRTYiKeqCkOas="},
    {"abc",
     "MEUCIQCazAYERhEqNPJIcj4fWCfpMbpZ1ThnZKQxCw2/RXw+7wIgcHlGPvNooTPccVsmB48piVOgtn63Leb1tvYeaZvYuW0="},
    {"ombrelta patch manifest\n",
     "MEUCIB4/yk8n4okgEsdx62UD1AkA+5zeE0fkb1xrn/p44dsTAiEA9Xc1AOmQOSxpoGGWXi499x8OnSX6zKdmO4nnm7cUZd4="},
    {"short 69",
     "MEMCH1AOqt4vOaC2t+jfuAe9qq6hiqxJ/C4ppJWHfPRL7EMCIFHtjhs1FZImHfv6xI7p53v4Jq7jY4W7juofJk7w/MFR"},
};

std::vector<std::uint8_t> Bytes(const char* base64) {
    return DecodeBase64(base64).value();
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> Hex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

TEST(VerifyP256Signature, AcceptsSignaturesMadeByOpenSsl) {
    for (const Signed& row : kSigned) {
        SCOPED_TRACE(row.message);
        EXPECT_TRUE(VerifyP256Signature(Bytes(kPublicKey), Bytes(row.message), Bytes(row.signature)));
    }
}

TEST(VerifyP256Signature, RefusesEveryAlteration) {
    const std::vector<std::uint8_t> key = Bytes(kPublicKey);
    const std::vector<std::uint8_t> message = Bytes(kSigned[1].message);
    const std::vector<std::uint8_t> signature = Bytes(kSigned[1].signature);
    auto changed = [](std::vector<std::uint8_t> bytes, std::size_t at) {
        bytes[at] ^= 0x01;
        return bytes;
    };
    auto appended = [](std::vector<std::uint8_t> bytes) {
        bytes.push_back(0);
        return bytes;
    };
    // The same r, encoded with one more zero byte in front of it.
    auto paddedR = [](std::vector<std::uint8_t> bytes) {
        bytes[1] += 1;
        bytes[3] += 1;
        bytes.insert(bytes.begin() + 4, 0);
        return bytes;
    };
    const std::string n = "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";
    struct Row {
        const char* name;
        std::vector<std::uint8_t> key, message, signature;
    };
    const std::vector<Row> rows = {
        {"message byte flipped", key, changed(message, 1), signature},
        {"signature byte flipped", key, message, changed(signature, 20)},
        {"another key", Bytes(kOtherPublicKey), message, signature},
        {"point not on the curve", changed(key, 64), message, signature},
        {"key without its 0x04 prefix", {key.begin() + 1, key.end()}, message, signature},
        {"compressed key", {key.begin(), key.begin() + 33}, message, signature},
        {"key with a byte more", appended(key), message, signature},
        {"empty key", {}, message, signature},
        {"hybrid point prefix",
         [&] {
             auto k = key;
             k[0] = 0x06;
             return k;
         }(),
         message, signature},
        {"trailing byte after the signature", key, message, appended(signature)},
        {"signature cut short", key, message, {signature.begin(), signature.end() - 1}},
        {"empty signature", key, message, {}},
        {"sequence tag wrong", key, message, changed(signature, 0)},
        {"needless leading zero", key, Bytes(kSigned[2].message), paddedR(Bytes(kSigned[2].signature))},
        {"negative r", key, message, Hex("3006020180020101")},
        {"r zero", key, message, Hex("3006020100020101")},
        {"r equals the order", key, message, Hex("3026022100" + n + "020101")},
        {"s equals the order", key, message, Hex("3026020101022100" + n)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(VerifyP256Signature(row.key, row.message, row.signature));
    }
}

}  // namespace
}  // namespace ombrelta
