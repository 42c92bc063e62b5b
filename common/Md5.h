#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

namespace ombrelta {

using Md5Digest = std::array<std::uint8_t, 16>;

/// An MD5 digest fed block by block (CryptoAPI on Windows, OpenSSL's EVP elsewhere).
class Md5Hasher {
public:
    /// A hasher ready for data, or nothing when the system cannot provide one.
    static std::optional<Md5Hasher> Create();

    Md5Hasher(Md5Hasher&&) noexcept = default;
    Md5Hasher& operator=(Md5Hasher&&) noexcept = default;
    ~Md5Hasher() = default;

    /// Adds bytes to the digest; false when the system refuses them.
    [[nodiscard]] bool Update(const std::uint8_t* data, std::size_t size);
    /// The digest of everything added; nothing on failure. The hasher is spent afterwards.
    std::optional<Md5Digest> Finish();

private:
    struct State;
    // Each host defines it beside its State, so the special members above need no complete type.
    struct StateDeleter {
        void operator()(State* state) const;
    };
    using StatePtr = std::unique_ptr<State, StateDeleter>;

    explicit Md5Hasher(StatePtr state) : state(std::move(state)) {}
    StatePtr state;
};

}  // namespace ombrelta
