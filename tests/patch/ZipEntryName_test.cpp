#include "patch/ZipEntryName.h"

#include <string>

#include <gtest/gtest.h>

#include "common/Text.h"

namespace ombrelta {
namespace {

TEST(DecodeEntryName, ReadsUtf8OrElseCodePage437AndRefusesUnsafeNames) {
    struct Row {
        const char* what;
        std::string stored;
        bool flaggedUtf8;
        // Empty: refused.
        std::wstring decoded;
    };
    const Row rows[] = {
        {"empty", "", false, L""},
        {"ascii", "data/a.bin", false, L"data\\a.bin"},
        {"cp437 letters", "filename_with_\x91o\x86.txt", false, L"filename_with_\u00E6o\u00E5.txt"},
        {"both ends of the table", "\x80\xFF", false, L"\u00C7\u00A0"},
        {"latin-1 byte", "caf\xE9", false, L"caf\u0398"},
        {"box drawing", "\xB3\xC4\xDA", false, L"\u2502\u2500\u250C"},
        {"utf-8 without the flag", "caf\xC3\xA9", false, L"caf\u00E9"},
        {"utf-8 with the flag", "caf\xC3\xA9", true, L"caf\u00E9"},
        {"one bad byte makes all cp437", "\xC3\xA9\x82", false, L"\u251C\u2310\u00E9"},
        {"flagged but not utf-8", "\x91.txt", true, L"\uFFFD.txt"},
        {"a NUL byte", std::string("a\0b", 3), false, L""},
        {"climbing out", "data/../../x", false, L""},
        {"a drive", "C:/x", false, L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::wstring name;
        const bool accepted = DecodeEntryName(row.stored, row.flaggedUtf8, name);
        EXPECT_EQ(accepted, !row.decoded.empty());
        if (accepted) {
            EXPECT_EQ(name, row.decoded);
        }
    }
}

TEST(NamesRootFile, MatchesEverySpellingOfTheRootFile) {
    struct Row {
        const wchar_t* name;
        bool matches;
    };
    const Row rows[] = {
        {L"OmbreltaLauncher.exe", true},       {L"ombreltalauncher.EXE", true},
        {L".\\OmbreltaLauncher.exe", true},    {L"\\OmbreltaLauncher.exe. ", true},
        {L"bin\\OmbreltaLauncher.exe", false}, {L"OmbreltaLauncher.exe.old", false},
        {L"OmbreltaLauncher", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.name));
        EXPECT_EQ(NamesRootFile(row.name, L"OmbreltaLauncher.exe"), row.matches);
    }
}

TEST(DeltaBaseName, TellsOrdinaryEntriesUnusableDeltasAndTheFileRewritten) {
    struct Row {
        const wchar_t* name;
        DeltaBaseKind kind;
        const wchar_t* file;
    };
    const Row rows[] = {
        {L"data\\game.pak", DeltaBaseKind::NotDelta, L""},
        {L"data\\game.pak.ombrelta-delta.txt", DeltaBaseKind::NotDelta, L""},
        {L"data\\game.pak.ombrelta-delta", DeltaBaseKind::File, L"data\\game.pak"},
        {L".ombrelta-delta", DeltaBaseKind::Unusable, L""},
        {L"data\\.ombrelta-delta", DeltaBaseKind::Unusable, L""},
        {L"version.dat.ombrelta-delta", DeltaBaseKind::Unusable, L""},
        {L".\\VERSION.DAT.ombrelta-delta", DeltaBaseKind::Unusable, L""},
        {L"data\\nul.ombrelta-delta", DeltaBaseKind::Unusable, L""},
        {L"data\\a..ombrelta-delta", DeltaBaseKind::Unusable, L""},
        {L"data\\version.dat.ombrelta-delta", DeltaBaseKind::File, L"data\\version.dat"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.name));
        const DeltaBase base = DeltaBaseName(row.name);
        EXPECT_EQ(base.kind, row.kind);
        EXPECT_EQ(base.file, row.file);
    }
}

}  // namespace
}  // namespace ombrelta
