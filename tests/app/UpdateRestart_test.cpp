#include "app/UpdateRestart.h"

#include <gtest/gtest.h>

#include "common/Text.h"

namespace ombrelta {
namespace {

TEST(AfterUpdateProcessId, TakesTheLastValidIdAfterTheProgram) {
    struct Row {
        const wchar_t* commandLine;
        std::optional<std::uint32_t> id;
    };
    const Row rows[] = {
        {L"OmbreltaLauncher.exe", std::nullopt},
        {L"OmbreltaLauncher.exe --after-update 1234", 1234u},
        {L"\"C:\\Games\\Ombrelta\\OmbreltaLauncher.exe\"  --after-update\t77", 77u},
        {L"\"C:\\x --after-update 5\\OmbreltaLauncher.exe\"", std::nullopt},
        {L"x.exe --after-update 1 --after-update 2", 2u},
        {L"x.exe --after-update 9 --after-update nine", 9u},
        {L"x.exe --after-update 4294967295", 4294967295u},
        {L"x.exe --after-update 4294967296", std::nullopt},
        {L"x.exe --after-update 0", std::nullopt},
        {L"x.exe --after-update -5", std::nullopt},
        {L"x.exe --after-update", std::nullopt},
        {L"x.exe \"--after-update 5\"", std::nullopt},
        {L"x.exe --AFTER-UPDATE 5", std::nullopt},
        {L"\"C:\\G\\OmbreltaLauncher.exe\" \"C:\\My Dir\\\\\" --after-update 123", 123u},
        {L"x.exe \"--after-\"update 6", 6u},
        {L"x.exe \"a\\\" --after-update 8", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.commandLine));
        EXPECT_EQ(AfterUpdateProcessId(row.commandLine), row.id);
    }
}

TEST(RestartCommandLine, KeepsTheArgumentsAndNamesThisProcess) {
    struct Row {
        const wchar_t* commandLine;
        const wchar_t* restart;
    };
    const Row rows[] = {
        {L"OmbreltaLauncher.exe", L"\"C:\\G\\OmbreltaLauncher.exe\" --after-update 42"},
        {L"\"C:\\Old Place\\OmbreltaLauncher.exe\" -x \"a b\"",
         L"\"C:\\G\\OmbreltaLauncher.exe\" -x \"a b\" --after-update 42"},
        {L"x.exe --after-update 7 -y", L"\"C:\\G\\OmbreltaLauncher.exe\" -y --after-update 42"},
        {L"x.exe --after-update -y", L"\"C:\\G\\OmbreltaLauncher.exe\" --after-update -y --after-update 42"},
        {L"x.exe \"q \\\" r\" s", L"\"C:\\G\\OmbreltaLauncher.exe\" \"q \\\" r\" s --after-update 42"},
        {L"x.exe \"C:\\My Dir\\\\\" --after-update 123",
         L"\"C:\\G\\OmbreltaLauncher.exe\" \"C:\\My Dir\\\\\" --after-update 42"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.commandLine));
        const std::wstring restart = RestartCommandLine(L"C:\\G\\OmbreltaLauncher.exe", row.commandLine, 42);
        EXPECT_EQ(restart, row.restart);
        EXPECT_EQ(AfterUpdateProcessId(restart), 42u);
    }
}

}  // namespace
}  // namespace ombrelta
