#include "common/P256Curve.h"

#include <array>

namespace ombrelta {
namespace {

// An element of the field, as 32-bit limbs with the lowest first. Speed does not matter: a key
// is checked once per signature check.
using Field = std::array<std::uint32_t, 8>;

constexpr Field kPrime = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0, 1, 0xFFFFFFFF};
constexpr Field kB = {0x27D2604B, 0x3BCE3C3E, 0xCC53B0F6, 0x651D06B0,
                      0x769886BC, 0xB3EBBD55, 0xAA3A93E7, 0x5AC635D8};

Field FromBigEndian(std::span<const std::uint8_t> bytes) {
    Field value{};
    for (std::size_t i = 0; i < 32; ++i) {
        const std::size_t fromLow = 31 - i;
        value[fromLow / 4] |= std::uint32_t{bytes[i]} << (8 * (fromLow % 4));
    }
    return value;
}

bool Less(const Field& a, const Field& b) {
    for (std::size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i])
            return a[i] < b[i];
    }
    return false;
}

// a += b modulo 2^256; returns the carry out.
bool Add(Field& a, const Field& b) {
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::uint64_t sum = std::uint64_t{a[i]} + b[i] + carry;
        a[i] = static_cast<std::uint32_t>(sum);
        carry = sum >> 32;
    }
    return carry != 0;
}

// a -= b modulo 2^256; returns the borrow out.
bool Subtract(Field& a, const Field& b) {
    std::uint64_t borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::uint64_t difference = std::uint64_t{a[i]} - b[i] - borrow;
        a[i] = static_cast<std::uint32_t>(difference);
        borrow = difference >> 63;
    }
    return borrow != 0;
}

// The operands of these are below the prime, and so are their results.
Field AddMod(Field a, const Field& b) {
    if (Add(a, b) || !Less(a, kPrime))
        (void)Subtract(a, kPrime);
    return a;
}

Field SubtractMod(Field a, const Field& b) {
    if (Subtract(a, b))
        (void)Add(a, kPrime);
    return a;
}

Field MultiplyMod(const Field& a, const Field& b) {
    Field product{};
    for (int bit = 255; bit >= 0; --bit) {
        product = AddMod(product, product);
        if ((b[bit / 32] >> (bit % 32)) & 1)
            product = AddMod(product, a);
    }
    return product;
}

}  // namespace

bool IsP256PublicKey(std::span<const std::uint8_t> key) {
    if (key.size() != 65 || key[0] != 0x04)
        return false;
    const Field x = FromBigEndian(key.subspan(1, 32));
    const Field y = FromBigEndian(key.subspan(33, 32));
    if (!Less(x, kPrime) || !Less(y, kPrime))
        return false;
    const Field threeX = AddMod(AddMod(x, x), x);
    const Field right = AddMod(SubtractMod(MultiplyMod(MultiplyMod(x, x), x), threeX), kB);
    return MultiplyMod(y, y) == right;
}

}  // namespace ombrelta
