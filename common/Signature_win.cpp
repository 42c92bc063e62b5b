#include "common/Signature.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstring>
#include <optional>
#include <vector>

#include "common/DigestHasher.h"
#include "common/EcdsaDer.h"
#include "common/P256Curve.h"

namespace ombrelta {
namespace {

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

struct Key {
    BCRYPT_KEY_HANDLE handle = nullptr;
    ~Key() {
        if (handle)
            BCryptDestroyKey(handle);
    }
};

}  // namespace

bool VerifyP256Signature(std::span<const std::uint8_t> publicKey,
                         std::span<const std::uint8_t> message,
                         std::span<const std::uint8_t> derSignature) {
    // CNG verifies a raw r || s over a digest it does not compute itself.
    std::optional<P256RawSignature> signature = ParseP256DerSignature(derSignature);
    if (!signature || !IsP256PublicKey(publicKey))
        return false;
    std::optional<Sha256Digest> digest = Sha256Hasher::Of(message);
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
