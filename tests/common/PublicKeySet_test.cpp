#include "common/PublicKeySet.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Base64.h"
#include "common/P256Curve.h"

namespace ombrelta {
namespace {

// A key made with `openssl ecparam -name prime256v1 -genkey`, and the curve's base point.
const char kKey[] =
    "BJJ3ZwVMuIrEwFr9p7SjrNs8H+nDdFJSP5YkFPCrtr1PSgqLgf/wEHV2ZM2gWGM/f9btKBeGIsRAIsBxVXhAuuQ=";
const char kBasePoint[] =
    "BGsX0fLhLEJH+Lzm5WOkQPJ3A32BLeszoPShOUXYmMKWT+NC4v4af5uO5+tKfA+eFivOM1drMV7Oy7ZAaDe/UfU=";
// The base point's X with the field prime as its Y, and with the prime as its X.
const char kPrimeAsY[] =
    "BGsX0fLhLEJH+Lzm5WOkQPJ3A32BLeszoPShOUXYmMKW/////wAAAAEAAAAAAAAAAAAAAAD///////////////8=";
const char kPrimeAsX[] =
    "BP////8AAAABAAAAAAAAAAAAAAAA////////////////T+NC4v4af5uO5+tKfA+eFivOM1drMV7Oy7ZAaDe/UfU=";

TEST(PublicKeySet, OnlyOneOrTwoPointsOfTheCurveMakeAValidSet) {
    std::string mistyped = kKey;
    mistyped[20] = mistyped[20] == 'A' ? 'B' : 'A';
    std::string compressed = kKey;
    compressed[1] = 'D';  // 0x04 becomes 0x03
    struct Row {
        std::string text;
        bool valid;
    };
    const std::vector<Row> rows = {
        {kKey, true},
        {kBasePoint, true},
        {std::string(kKey) + "," + kBasePoint, true},
        {std::string(" ") + kBasePoint + " ,\t" + kKey + " ", true},
        {"", false},
        {mistyped, false},
        {compressed, false},
        {kPrimeAsY, false},
        {kPrimeAsX, false},
        {std::string(kKey) + ",", false},
        {std::string(kKey) + "," + mistyped, false},
        {std::string(kKey) + "," + kKey + "," + kKey, false},
        {std::string(kKey).substr(0, 84) + "=", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const PublicKeySet set = PublicKeySet::Parse(row.text);
        EXPECT_EQ(set.Valid(), row.valid);
        if (set.Keys().size() == 1) {
            EXPECT_EQ(IsP256PublicKey(set.Keys()[0]), row.valid);
        }
    }
    EXPECT_FALSE(PublicKeySet().Valid());
}

}  // namespace
}  // namespace ombrelta
