#include "common/Signature.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "common/EcdsaDer.h"

namespace ombrelta {
namespace {

using Sha256Digest = std::array<std::uint8_t, 32>;

struct Algorithm {
    BCRYPT_ALG_HANDLE handle = nullptr;
    explicit Algorithm(const wchar_t* name) {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0)))
            handle = nullptr;
    }
    ~Algorithm() {
        if (handle)
            BCryptCloseAlgorithmProvider(handle, 0);
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
};

struct Hash {
    BCRYPT_HASH_HANDLE handle = nullptr;
    ~Hash() {
        if (handle)
            BCryptDestroyHash(handle);
    }
};

struct Key {
    BCRYPT_KEY_HANDLE handle = nullptr;
    ~Key() {
        if (handle)
            BCryptDestroyKey(handle);
    }
};

std::optional<Sha256Digest> Sha256(std::span<const std::uint8_t> message) {
    const Algorithm algorithm(BCRYPT_SHA256_ALGORITHM);
    Hash hash;
    if (!algorithm.handle ||
        !BCRYPT_SUCCESS(BCryptCreateHash(algorithm.handle, &hash.handle, nullptr, 0, nullptr, 0, 0)))
        return std::nullopt;
    // BCryptHashData takes a ULONG length; feed larger inputs in pieces.
    constexpr std::size_t kMaxPiece = 0x40000000;
    for (std::size_t offset = 0; offset < message.size(); offset += kMaxPiece) {
        const std::span<const std::uint8_t> piece =
            message.subspan(offset).first(std::min(kMaxPiece, message.size() - offset));
        if (!BCRYPT_SUCCESS(BCryptHashData(hash.handle, const_cast<PUCHAR>(piece.data()),
                                           static_cast<ULONG>(piece.size()), 0)))
            return std::nullopt;
    }
    Sha256Digest digest{};
    if (!BCRYPT_SUCCESS(BCryptFinishHash(hash.handle, digest.data(), static_cast<ULONG>(digest.size()), 0)))
        return std::nullopt;
    return digest;
}

}  // namespace

bool VerifyP256Signature(std::span<const std::uint8_t> publicKey,
                         std::span<const std::uint8_t> message,
                         std::span<const std::uint8_t> derSignature) {
    // CNG verifies a raw r || s over a digest it does not compute itself.
    std::optional<P256RawSignature> signature = ParseP256DerSignature(derSignature);
    if (!signature || publicKey.size() != kP256PublicKeySize || publicKey[0] != 0x04)
        return false;
    std::optional<Sha256Digest> digest = Sha256(message);
    const Algorithm algorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!digest || !algorithm.handle)
        return false;
    // The public blob is the header followed by X and Y, without the 0x04 prefix.
    const BCRYPT_ECCKEY_BLOB header{.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC, .cbKey = 32};
    std::vector<std::uint8_t> blob(sizeof header);
    std::memcpy(blob.data(), &header, sizeof header);
    blob.insert(blob.end(), publicKey.begin() + 1, publicKey.end());
    Key key;
    if (!BCRYPT_SUCCESS(BCryptImportKeyPair(algorithm.handle, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key.handle,
                                            blob.data(), static_cast<ULONG>(blob.size()), 0)))
        return false;
    return BCRYPT_SUCCESS(BCryptVerifySignature(key.handle, nullptr, digest->data(),
                                                static_cast<ULONG>(digest->size()), signature->data(),
                                                static_cast<ULONG>(signature->size()), 0));
}

}  // namespace ombrelta
