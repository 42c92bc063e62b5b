#include "tools/patch/PublishChecks.h"

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "tools/patch/PatchMaker.h"
#include "tools/patch/Publisher.h"

namespace ombrelta::patchkit {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFileBytes;

void Write(const fs::path& file, const std::string& bytes) {
    WriteFileBytes(file.wstring(), bytes);
}

// A root serving version 1, and a next tree beside it.
class PublishChecksTest : public ::testing::Test {
protected:
    void SetUp() override {
        Write(root / "files/a.txt", "one");
        Write(dir / "next/a.txt", "two");
        fs::create_directories(dir / "empty");
        fs::create_directories(root / "patches");
        ASSERT_TRUE(
            MakePatch({dir / "empty", root / "files", 1, root / "patches/patch1.zip"}).problems.empty());
    }

    PublishRequest Next() const {
        PublishRequest request;
        request.root = root;
        request.newTree = dir / "next";
        request.version = 2;
        return request;
    }

    TempDir temp;
    const fs::path dir = fs::path(temp.Path());
    const fs::path root = dir / "root";
};

TEST_F(PublishChecksTest, RefusesEveryMistakeBeforeTouchingAnything) {
    const struct {
        const char* name;
        std::function<void(PublishRequest&)> mistake;
        std::string complaint;
    } rows[] = {
        {"root one folder too deep", [&](PublishRequest& r) { r.root = root / "files"; },
         "holds neither patches/ nor files/"},
        {"no such new tree", [&](PublishRequest& r) { r.newTree = dir / "nope"; },
         "new tree is not a folder"},
        {"new tree is the served one", [&](PublishRequest& r) { r.newTree = root / "files"; },
         "lies inside, the served files"},
        {"a version gap", [](PublishRequest& r) { r.version = 3; },
         "version 3 does not follow the newest patch's 1: publish version 2"},
        {"a patch name taken", [&](PublishRequest&) { Write(root / "patches/patch2.zip", "x"); },
         "exists already"},
        {"files signed before", [&](PublishRequest&) { Write(root / "files/ombrelta-files.sig", "x"); },
         "the served files are signed"},
        {"a stale list in the new tree",
         [&](PublishRequest&) { Write(dir / "next/ombrelta-files.sig", "x"); },
         "new tree holds an ombrelta-files.sig"},
        {"no pid file", [&](PublishRequest& r) { r.reloadPidFile = dir / "server.pid"; }, "no such pid file"},
        {"a publication cut short", [&](PublishRequest&) { Write(root / ".publish/swapping", "x"); },
         "was cut short while it moved the trees"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PublishRequest request = Next();
        row.mistake(request);
        const std::vector<std::string> problems = PublishRefusals(request);
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find(row.complaint), std::string::npos) << problems[0];
        fs::remove(root / "patches/patch2.zip");
        fs::remove(root / "files/ombrelta-files.sig");
        fs::remove(dir / "next/ombrelta-files.sig");
        fs::remove_all(root / ".publish");
    }
    EXPECT_TRUE(PublishRefusals(Next()).empty());
}

TEST_F(PublishChecksTest, ADryRunDescribesTheUpdateAndTouchesNothing) {
    Write(dir / "next/b.txt", "new");
    PublishOutcome outcome;
    const std::vector<std::string> lines = DescribePublish(Next(), outcome);
    ASSERT_TRUE(outcome.problems.empty());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "change a.txt");
    EXPECT_EQ(lines[1], "add b.txt");
    EXPECT_EQ(lines[2], "1 added, 1 changed, 0 removed");
    EXPECT_TRUE(lines[3].starts_with("would publish patch2.zip for version 2: 2 files, ")) << lines[3];
    EXPECT_FALSE(fs::exists(root / "patches/patch2.zip"));
    EXPECT_FALSE(fs::exists(root / ".publish"));
    EXPECT_TRUE(fs::exists(dir / "next/b.txt"));
}

}  // namespace
}  // namespace ombrelta::patchkit
