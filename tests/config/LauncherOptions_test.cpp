#include "config/LauncherOptions.h"

#include "config/LauncherConfig.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(LauncherOptionsTest, AbsentKeysKeepTheDefaults) {
    LauncherConfig config = ParseConfigText("host=127.0.0.1\nport=47000\n");
    EXPECT_EQ(config.options.pipeline, 1);
    EXPECT_FALSE(config.options.resolve);
}

TEST(LauncherOptionsTest, PipelineTakesOneToSixtyFourElseOne) {
    struct Case {
        std::string line;
        int pipeline;
    };
    const std::vector<Case> cases = {
        {"pipeline=16", 16}, {"PIPELINE = 64", 64}, {"pipeline=1", 1},   {"pipeline=0", 1},
        {"pipeline=65", 1},  {"pipeline=-4", 1},    {"pipeline=", 1},    {"pipeline=8x", 1},
        {"pipeline=+8", 1},  {"pipeline=99999999999", 1},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(ParseConfigText(row.line).options.pipeline, row.pipeline);
    }
}

TEST(LauncherOptionsTest, ResolveIsOnOnlyForOne) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"resolve=1", true},    {"RESOLVE = 1", true}, {"resolve=0", false},
        {"resolve=yes", false}, {"resolve=", false},
    };
    for (const auto& [text, resolve] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseConfigText(text).options.resolve, resolve);
    }
}

}  // namespace
}  // namespace ombrelta
