#include "config/LauncherOptions.h"

#include "config/LauncherConfig.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(LauncherOptionsTest, AbsentKeysKeepTheDefaults) {
    LauncherConfig config = ParseConfigText("host=127.0.0.1\nport=47000\n");
    EXPECT_EQ(config.options.pipeline, 1);
    EXPECT_FALSE(config.options.hashcache);
    EXPECT_FALSE(config.options.resume);
    EXPECT_EQ(config.options.retries, 0);
    EXPECT_FALSE(config.options.resolve);
    EXPECT_EQ(config.options.maxrate, 0);
    EXPECT_FALSE(config.options.publicKey.has_value());
}

TEST(LauncherOptionsTest, PipelineTakesOneTo256OrAutoElseOne) {
    struct Case {
        std::string line;
        Pipeline pipeline;
    };
    const std::vector<Case> cases = {
        {"pipeline=16", 16}, {"PIPELINE = 64", 64}, {"pipeline=1", 1},   {"pipeline=0", 1},
        {"pipeline=65", 65}, {"pipeline=-4", 1},    {"pipeline=", 1},    {"pipeline=8x", 1},
        {"pipeline=+8", 1},  {"pipeline=99999999999", 1},
        {"pipeline=256", 256}, {"pipeline=257", 1}, {"pipeline=auto", Pipeline::Auto()},
        {"pipeline = AUTO", Pipeline::Auto()}, {"pipeline=auto4", 1}, {"pipeline=autos", 1},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(ParseConfigText(row.line).options.pipeline, row.pipeline);
    }
}

TEST(LauncherOptionsTest, HashcacheOnlyWithOne) {
    struct Case {
        std::string line;
        bool hashcache;
    };
    const std::vector<Case> cases = {
        {"hashcache=1", true}, {"HashCache = 1", true},  {"hashcache=0", false},
        {"hashcache=", false}, {"hashcache=yes", false}, {"hashcache=1\nhashcache=0", false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(ParseConfigText(row.line).options.hashcache, row.hashcache);
    }
}

TEST(LauncherOptionsTest, ResumeOnlyWithOneAndRetriesZeroToTen) {
    struct Case {
        std::string line;
        bool resume;
        int retries;
    };
    const std::vector<Case> cases = {
        {"resume=1\nretries=3", true, 3}, {"Resume = 1\nRETRIES = 10", true, 10}, {"resume=yes\nretries=11", false, 0},
        {"resume=0\nretries=-1", false, 0}, {"resume=\nretries=", false, 0},       {"retries=0", false, 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.line);
        const LauncherOptions options = ParseConfigText(row.line).options;
        EXPECT_EQ(options.resume, row.resume);
        EXPECT_EQ(options.retries, row.retries);
    }
}

TEST(LauncherOptionsTest, ResolveOnlyWithOne) {
    struct Case {
        std::string line;
        bool resolve;
    };
    const std::vector<Case> cases = {
        {"resolve=1", true}, {"RESOLVE = 1", true}, {"resolve=0", false}, {"resolve=yes", false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(ParseConfigText(row.line).options.resolve, row.resolve);
    }
}

TEST(LauncherOptionsTest, MaxrateTakesSixteenToAMillionElseNoLimit) {
    struct Case {
        std::string line;
        int maxrate;
    };
    const std::vector<Case> cases = {
        {"maxrate=2048", 2048}, {"MAXRATE = 16", 16}, {"maxrate=1000000", 1000000}, {"maxrate=15", 0},
        {"maxrate=1000001", 0}, {"maxrate=0", 0},     {"maxrate=-100", 0},          {"maxrate=2k", 0},
        {"maxrate=", 0},        {"maxrate=64\nmaxrate=x", 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(ParseConfigText(row.line).options.maxrate, row.maxrate);
    }
}

TEST(LauncherOptionsTest, DeltaOnlyWithOne) {
    struct Case {
        std::string line;
        bool delta;
    };
    const std::vector<Case> cases = {
        {"", false}, {"delta=1", true}, {"DELTA = 1", true}, {"delta=0", false}, {"delta=on", false}, {"delta=", false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(ParseConfigText(row.line).options.delta, row.delta);
    }
}

TEST(LauncherOptionsTest, PublicKeyIsDecodedAndAMalformedOneStillCounts) {
    using Bytes = std::vector<std::uint8_t>;
    struct Case {
        std::string line;
        std::optional<std::vector<Bytes>> publicKey;
    };
    const std::vector<Case> cases = {
        {"publickey=BAEC", {{Bytes{4, 1, 2}}}},
        {"PublicKey = BAE=", {{Bytes{4, 1}}}},
        {"publickey=", std::nullopt},
        {"publickey=BAE", {{Bytes{}}}},
        {"publickey=BA!C", {{Bytes{}}}},
        {"publickey=BAEC\npublickey=", std::nullopt},
        {"publickey=BAEC,BAE=", {{Bytes{4, 1, 2}, Bytes{4, 1}}}},
        {"publickey=BAEC , BAE=", {{Bytes{4, 1, 2}, Bytes{4, 1}}}},
        {"publickey=BAEC,", {{Bytes{4, 1, 2}, Bytes{}}}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.line);
        const std::optional<PublicKeySet> publicKey = ParseConfigText(row.line).options.publicKey;
        ASSERT_EQ(publicKey.has_value(), row.publicKey.has_value());
        if (publicKey) {
            EXPECT_EQ(publicKey->Keys(), *row.publicKey);
        }
    }
}

TEST(LauncherOptionsTest, ServersTakeUpToFourHostPortEntriesAndSkipUnusableOnes) {
    struct Case {
        std::string line;
        std::vector<ServerAddress> servers;
    };
    const std::vector<Case> cases = {
        {"servers=", {}},
        {"servers=10.0.0.2:47000", {{L"10.0.0.2", 47000}}},
        {"SERVERS = 10.0.0.2:1 , eu.example.org : 65535", {{L"10.0.0.2", 1}, {L"eu.example.org", 65535}}},
        {"servers=[::1]:47000,[fe80::1%2]:5", {{L"[::1]", 47000}, {L"[fe80::1%2]", 5}}},
        {"servers=a:1,b:2,c:3,d:4,e:5", {{L"a", 1}, {L"b", 2}, {L"c", 3}, {L"d", 4}}},
        {"servers=a:0,b:65536,c:,:4,d,e:-1,f:+2,g:2x,::1:47000,[::1:4,[[::1]]:4,[]:4,h:7", {{L"h", 7}}},
        {"servers=,,a:1,,", {{L"a", 1}}},
        {"servers=x:0,a:1,b:2,c:3,d:4,e:5", {{L"a", 1}, {L"b", 2}, {L"c", 3}, {L"d", 4}}},
        {"servers=a:1\nservers=", {}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(ParseConfigText(row.line).options.servers, row.servers);
    }
    EXPECT_TRUE(ParseConfigText("host=127.0.0.1").options.servers.empty());
}

TEST(LauncherOptionsTest, MirrorTakesUsableBasesOnlyAndTheLastLineCounts) {
    using Bases = std::vector<std::string>;
    const struct {
        std::string line;
        Bases mirror;
    } rows[] = {
        {"", {}},
        {"mirror=http://127.0.0.1:8080/", {"http://127.0.0.1:8080"}},
        {"MIRROR = https://a.example,http://b.example", {"https://a.example", "http://b.example"}},
        {"mirror=file:///srv", {}},
        {"mirror=http://a.example\nmirror=", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(ParseConfigText(row.line).options.mirror, row.mirror);
    }
}

TEST(LauncherOptionsTest, DetailsAndLogAreOnOnlyForOne) {
    struct Case {
        std::string text;
        bool details;
        bool log;
    };
    const std::vector<Case> cases = {
        {"", false, false},           {"details=1", true, false}, {"LOG = 1", false, true},
        {"details=1\nlog=1", true, true}, {"details=yes\nlog=2", false, false}, {"log=", false, false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.text);
        const LauncherOptions options = ParseConfigText(row.text).options;
        EXPECT_EQ(options.details, row.details);
        EXPECT_EQ(options.log, row.log);
    }
}

TEST(LauncherOptionsTest, BlockRepairIsOnOnlyForOne) {
    const struct {
        std::string line;
        bool on;
    } rows[] = {{"", false},
                {"blockrepair=1", true},
                {"BlockRepair = 1", true},
                {"blockrepair=yes", false},
                {"blockrepair=1\nblockrepair=0", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(ParseConfigText(row.line).options.blockrepair, row.on);
    }
}

}  // namespace
}  // namespace ombrelta
