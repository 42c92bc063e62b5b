#include "common/Base64.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Base64Test, KnownVectorsBothWays) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"foobar", "Zm9vYmFy"},
        {std::string("\xff\xfe\x00", 3), "//4A"},
    };
    for (const auto& [plain, encoded] : rows) {
        SCOPED_TRACE(encoded);
        EXPECT_EQ(EncodeBase64(Bytes(plain)), encoded);
        EXPECT_EQ(DecodeBase64(encoded), Bytes(plain));
    }
}

TEST(Base64Test, RefusesAnythingButExactPaddedText) {
    for (const char* text : {"Zg", "Zg=", "Zh==", "Zm9=", "Z===", "Zg==Zg==", "Zm 9v", "Zm9v\n", "Zm-v", "ab=c"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(DecodeBase64(text).has_value());
    }
}

}  // namespace
}  // namespace ombrelta
