#include "patch/ZipEntryName.h"

#include <string>

#include <gtest/gtest.h>

namespace ombrelta::zip {
namespace {

TEST(DecodeEntryName, ReadsUtf8OrElseCodePage437) {
    struct Row {
        const char* what;
        std::string stored;
        bool flaggedUtf8;
        std::wstring decoded;
    };
    const Row rows[] = {
        {"empty", "", false, L""},
        {"ascii", "data\\a.bin", false, L"data\\a.bin"},
        {"cp437 letters", "filename_with_\x91o\x86.txt", false, L"filename_with_\u00E6o\u00E5.txt"},
        {"both ends of the table", "\x80\xFF", false, L"\u00C7\u00A0"},
        {"latin-1 byte", "caf\xE9", false, L"caf\u0398"},
        {"box drawing", "\xB3\xC4\xDA", false, L"\u2502\u2500\u250C"},
        {"utf-8 without the flag", "caf\xC3\xA9", false, L"caf\u00E9"},
        {"utf-8 with the flag", "caf\xC3\xA9", true, L"caf\u00E9"},
        {"one bad byte makes all cp437", "\xC3\xA9\x82", false, L"\u251C\u2310\u00E9"},
        {"flagged but not utf-8", "\x91.txt", true, L"\uFFFD.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(DecodeEntryName(row.stored, row.flaggedUtf8), row.decoded);
    }
}

}  // namespace
}  // namespace ombrelta::zip
