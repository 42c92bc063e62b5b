#include "tools/content/GameFileListing.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(SignedListDifferences, NamesEachChangedMissingAndUnsignedFile) {
    const SignedFile a{.path = "a", .size = 1, .md5 = std::string(32, '1'), .sha256 = std::string(64, '1')};
    SignedFile changedA = a;
    changedA.sha256 = std::string(64, '2');
    const SignedFile b{.path = "b", .size = 1, .md5 = std::string(32, '1'), .sha256 = std::string(64, '1')};
    EXPECT_TRUE(SignedListDifferences({a, b}, {a, b}).empty());
    EXPECT_EQ(SignedListDifferences({a}, {changedA, b}),
              (std::vector<std::string>{"a changed since it was signed", "b is not signed"}));
    EXPECT_EQ(SignedListDifferences({a, b}, {a}), std::vector<std::string>{"b is signed but no longer served"});
}

}  // namespace
}  // namespace ombrelta
