#include "tools/content/ContentRules.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(CheckEntryNames, RefusesWhatTheLauncherWouldRefuseOrMistake) {
    struct Row {
        std::vector<std::string> names;
        const char* problem;  // a part of the only problem, or null for none
    };
    const Row rows[] = {
        {{"data/a.txt", "maps/", "version.dat"}, nullptr},
        {{"../evil.dll"}, "unsafe path"},
        {{"a/.. /b"}, "unsafe path"},
        {{"c:win.ini"}, "unsafe path"},
        {{"/etc/passwd"}, "unsafe path"},
        {{"a\\b.txt"}, "backslash"},
        {{"a\nb.txt"}, "control character"},
        {{"\xff.txt"}, "UTF-8"},
        {{"Data/a.txt", "data/A.TXT"}, "without regard to case"},
        {{"maps/", "Maps"}, "without regard to case"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.names.front());
        ContentProblems problems;
        CheckEntryNames(row.names, problems);
        if (row.problem == nullptr) {
            EXPECT_TRUE(problems.empty());
            continue;
        }
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find(row.problem), std::string::npos) << problems[0];
        EXPECT_EQ(problems[0].find('\n'), std::string::npos);
    }
}

// Both checks apply one rule; each names its faults in its own words, and only entry names quote.
TEST(ContentRules, GameFilePathsAndEntryNamesAreNamedInTheirOwnWords) {
    ContentProblems paths;
    CheckGameFilePaths({"a\\b.txt", "Data/x", "data/X"}, paths);
    EXPECT_EQ(paths, (ContentProblems{
                         "game file path a\\x5Cb.txt holds a backslash, a folder separator to the launcher",
                         "game file paths equal without regard to case: Data/x data/X"}));
    ContentProblems entries;
    CheckEntryNames({"a\\b.txt", "maps/", "Maps"}, entries);
    EXPECT_EQ(entries, (ContentProblems{
                           "entry name \"a\\x5Cb.txt\" holds a backslash, a folder separator to the launcher",
                           "entry names equal without regard to case: \"maps/\" \"Maps\""}));
}

}  // namespace
}  // namespace ombrelta
