#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace ombrelta {

using Sha256Digest = std::array<std::uint8_t, 32>;

/// A SHA-256 digest fed block by block (CryptoAPI on Windows, OpenSSL's EVP elsewhere).
class Sha256Hasher {
public:
    /// A hasher ready for data, or nothing when the system cannot provide one.
    static std::optional<Sha256Hasher> Create();

    Sha256Hasher(Sha256Hasher&&) noexcept;
    Sha256Hasher& operator=(Sha256Hasher&&) noexcept;
    ~Sha256Hasher();

    /// Adds bytes to the digest; false when the system refuses them.
    [[nodiscard]] bool Update(const std::uint8_t* data, std::size_t size);
    /// The digest of everything added; nothing on failure. The hasher is spent afterwards.
    std::optional<Sha256Digest> Finish();

private:
    struct State;
    explicit Sha256Hasher(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace ombrelta
