#include "common/Signature.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <memory>

#include "common/EcdsaDer.h"
#include "common/P256Curve.h"

namespace ombrelta {
namespace {

struct KeyContextFree {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, KeyContextFree>;
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

// Nothing unless the bytes are an uncompressed point on P-256.
Key ImportPublicKey(std::span<const std::uint8_t> publicKey) {
    if (!IsP256PublicKey(publicKey))
        return nullptr;
    char group[] = "prime256v1";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY,
                                          const_cast<std::uint8_t*>(publicKey.data()), publicKey.size()),
        OSSL_PARAM_construct_end()};
    KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* raw = nullptr;
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &raw, EVP_PKEY_PUBLIC_KEY, params) != 1)
        return nullptr;
    return Key(raw);
}

bool Verify(std::span<const std::uint8_t> publicKey,
            std::span<const std::uint8_t> message,
            std::span<const std::uint8_t> derSignature) {
    // The same strict DER rules as the Windows side, so both accept exactly the same signatures.
    if (!ParseP256DerSignature(derSignature))
        return false;
    const Key key = ImportPublicKey(publicKey);
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> digest(EVP_MD_CTX_new());
    if (!key || !digest || EVP_DigestVerifyInit(digest.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(digest.get(), derSignature.data(), derSignature.size(), message.data(),
                            message.size()) == 1;
}

}  // namespace

bool VerifyP256Signature(std::span<const std::uint8_t> publicKey,
                         std::span<const std::uint8_t> message,
                         std::span<const std::uint8_t> derSignature) {
    const bool good = Verify(publicKey, message, derSignature);
    // A refused key or signature leaves reasons on this thread's OpenSSL error queue.
    ERR_clear_error();
    return good;
}

}  // namespace ombrelta
