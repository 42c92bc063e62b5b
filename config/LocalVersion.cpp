#include "config/LocalVersion.h"

#include "common/FileSystem.h"
#include "common/Path.h"

#include <array>
#include <optional>

namespace ombrelta {
namespace {

constexpr std::int64_t kMaxPositive = 2147483647LL;
constexpr std::int64_t kMaxNegative = 2147483648LL;

bool IsCSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// wcstol with base 10 over the first line, fed one byte at a time so that a huge first line
// never has to be held in memory.
class FirstLineNumber {
public:
    /// Takes the next byte; false once the number (or the line) has ended.
    bool Feed(unsigned char c) {
        if (c == '\n')
            return false;
        if (phase == Phase::Blanks && IsCSpace(c))
            return true;
        if (phase == Phase::Blanks && (c == '+' || c == '-')) {
            negative = c == '-';
            phase = Phase::Digits;
            return true;
        }
        if (c < '0' || c > '9')
            return false;
        phase = Phase::Digits;
        sawDigit = true;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kMaxNegative)
            magnitude = kMaxNegative + 1;
        return true;
    }

    /// The version the line holds: 0 without digits or outside the signed 32-bit range.
    std::uint16_t Version() const {
        if (!sawDigit || magnitude > (negative ? kMaxNegative : kMaxPositive))
            return 0;
        std::int64_t value = negative ? -magnitude : magnitude;
        return static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFF);
    }

private:
    enum class Phase { Blanks, Digits };
    Phase phase = Phase::Blanks;
    bool negative = false;
    bool sawDigit = false;
    std::int64_t magnitude = 0;
};

}  // namespace

std::uint16_t ReadLocalVersion(const std::wstring& installDir, const std::wstring& fileName) {
    std::optional<File> file = File::OpenRead(installDir + fileName);
    if (!file)
        return 0;
    FirstLineNumber number;
    std::array<unsigned char, 4096> buffer{};
    for (;;) {
        std::optional<std::size_t> got = file->Read(buffer.data(), buffer.size());
        if (!got)
            return 0;
        for (std::size_t i = 0; i < *got; ++i) {
            if (!number.Feed(buffer[i]))
                return number.Version();
        }
        if (*got == 0)
            return number.Version();
    }
}

std::uint16_t ReadLocalVersion(const std::wstring& fileName) {
    return ReadLocalVersion(GetExecutableDirectory(), fileName);
}

}  // namespace ombrelta
