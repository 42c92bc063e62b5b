#include "common/PartialDownload.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(PartialDownloadTest, RecordsAreReadOnlyInTheShapeTheyAreWritten) {
    EXPECT_EQ(GameFilePartRecord(2500, "ABC"), "size=2500\nmd5=ABC\n");
    EXPECT_EQ(PatchPartRecord(7, 900, "p7.zip"), "version=7\nsize=900\nname=p7.zip\n");
    struct Row {
        std::string text;
        bool gameFile;
        std::optional<std::uint16_t> patchVersion;  // of a part of "p7.zip"
    };
    const std::vector<Row> rows = {
        {GameFilePartRecord(0, ""), true, std::nullopt},
        {GameFilePartRecord(4294967295u, "0123456789abcdef0123456789abcdef"), true, std::nullopt},
        {"size=4294967296\nmd5=a\n", false, std::nullopt},
        {"size=012\nmd5=a\n", false, std::nullopt},
        {"size=12\nmd5=a", false, std::nullopt},
        {"size=12\nmd5=a\nmore\n", false, std::nullopt},
        {"md5=a\nsize=12\n", false, std::nullopt},
        {PatchPartRecord(7, 900, "p7.zip"), false, 7},
        {PatchPartRecord(65535, 0, "p7.zip"), false, 65535},
        {"version=65536\nsize=900\nname=p7.zip\n", false, std::nullopt},
        {"version=-1\nsize=900\nname=p7.zip\n", false, std::nullopt},
        {PatchPartRecord(7, 900, "p8.zip"), false, std::nullopt},
        {"version=7\nsize=900\nname=p7.zip\n\n", false, std::nullopt},
        {"", false, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(IsGameFilePartRecord(row.text), row.gameFile);
        EXPECT_EQ(PatchPartVersion(row.text, "p7.zip"), row.patchVersion);
    }
}

}  // namespace
}  // namespace ombrelta
