#include "config/LauncherConfig.h"

#include "common/FileSystem.h"
#include "tests/support/TempDir.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

using test::TempDir;

TEST(LauncherConfigTest, TrimRemovesBlanksOnBothSides) {
    struct Case {
        std::string text;
        std::string trimmed;
    };
    const std::vector<Case> cases = {
        {"", ""},           {" \t\r\n", ""}, {"a", "a"}, {" \t a b \r\n", "a b"}, {"\r\n\tx\n\r", "x"},
        {"\va\v", "\va\v"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Trim(row.text), row.trimmed);
    }
}

TEST(LauncherConfigTest, ParsesEveryKey) {
    LauncherConfig config = ParseConfigText(
        "host=127.0.0.1\nport=4000\nfacebook=https://fb.example/o\ndiscord=https://dc.example/o\n"
        "whatsapp=https://wa.example/o\nwebsite=https://ombrelta.example/");
    EXPECT_EQ(config.host, L"127.0.0.1");
    EXPECT_EQ(config.port, 4000);
    EXPECT_EQ(config.facebook, L"https://fb.example/o");
    EXPECT_EQ(config.discord, L"https://dc.example/o");
    EXPECT_EQ(config.whatsapp, L"https://wa.example/o");
    EXPECT_EQ(config.website, L"https://ombrelta.example/");
}

TEST(LauncherConfigTest, KeysIgnoreCaseAndBlanksValuesKeepCase) {
    LauncherConfig config = ParseConfigText("  HOST = Server.Example \r\n\tWebSite\t=\tMixed=Case\t\n");
    EXPECT_EQ(config.host, L"Server.Example");
    EXPECT_EQ(config.website, L"Mixed=Case");
}

TEST(LauncherConfigTest, PortIsReadLeniently) {
    struct Case {
        std::string line;
        std::int32_t port;
    };
    const std::vector<Case> cases = {
        {"port=abc", 0},
        {"port= 42x", 42},
        {"port=-7", -7},
        {"port=+9", 9},
        {"port=", 0},
        {"port=99999999999", 2147483647},
        {"port=-99999999999", -2147483647 - 1},
        {"port=2147483647", 2147483647},
        {"port=-2147483648", -2147483647 - 1},
        {"port=2147483648", 2147483647},
        {"port=000000000000000065535", 65535},
        {"port=- 5", 0},
        {"port=\v12", 12},
        {"port=70000", 70000},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(ParseConfigText(row.line).port, row.port);
    }
}

TEST(LauncherConfigTest, LinesThatAreNotSettingsAreIgnored) {
    LauncherConfig config = ParseConfigText(
        "=host=1.1.1.1\nhost\n# comment\nface book=x\nunknown=y\n\n   \nhost=2.2.2.2\nfacebook=\n");
    EXPECT_EQ(config.host, L"2.2.2.2");
    EXPECT_EQ(config.facebook, L"");
    EXPECT_EQ(config.discord, L"");
    EXPECT_EQ(config.port, 0);
}

TEST(LauncherConfigTest, LaterKeyWins) {
    LauncherConfig config = ParseConfigText("discord=first\nDISCORD=second\n");
    EXPECT_EQ(config.discord, L"second");
}

TEST(LauncherConfigTest, EqualsSignInsideValueIsKept) {
    EXPECT_EQ(ParseConfigText("website=a=b").website, L"a=b");
}

TEST(LauncherConfigTest, CarriageReturnsAloneDoNotSeparateLines) {
    LauncherConfig crlf = ParseConfigText("host=1.2.3.4\r\nport=5\r\n");
    EXPECT_EQ(crlf.host, L"1.2.3.4");
    EXPECT_EQ(crlf.port, 5);
    LauncherConfig crOnly = ParseConfigText("host=1.2.3.4\rport=5\r");
    EXPECT_EQ(crOnly.host, L"1.2.3.4\rport=5");
    EXPECT_EQ(crOnly.port, 0);
}

TEST(LauncherConfigTest, ValuesAreUtf8) {
    LauncherConfig config = ParseConfigText("website=https://omb.example/\xC3\xA9t\xC3\xA9/\xE2\x82\xAC");
    EXPECT_EQ(config.website, L"https://omb.example/\u00E9t\u00E9/\u20AC");
}

TEST(LauncherConfigTest, ByteOrderMarkHidesTheFirstKey) {
    LauncherConfig config = ParseConfigText("\xEF\xBB\xBFhost=1.2.3.4\nport=7\n");
    EXPECT_EQ(config.host, L"");
    EXPECT_EQ(config.port, 7);
}

TEST(LauncherConfigTest, ZeroBytesStayInTheText) {
    LauncherConfig config = ParseConfigText(std::string("host=a\0b\nport=1", 15));
    EXPECT_EQ(config.host, std::wstring(L"a\0b", 3));
    EXPECT_EQ(config.port, 1);
}

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(ConfigScramblerTest, KnownScrambledBytes) {
    // Files written by earlier builds of the tool must stay readable.
    const std::string plain = "host=127.0.0.1\nport=4000\n";
    const std::vector<std::uint8_t> scrambled = {0x82, 0xD1, 0x1B, 0x02, 0xEB, 0xD5, 0x0D, 0x60, 0xC9,
                                                 0x3B, 0xB9, 0xE9, 0xB1, 0x99, 0xC2, 0x00, 0xA0, 0x61,
                                                 0xEA, 0xC8, 0x6A, 0x23, 0x95, 0xBE, 0x12};
    std::vector<std::uint8_t> bytes = Bytes(plain);
    ScrambleConfig(bytes);
    EXPECT_EQ(bytes, scrambled);
    UnscrambleConfig(bytes);
    EXPECT_EQ(bytes, Bytes(plain));
}

TEST(ConfigScramblerTest, RoundTripsEveryByteValueAtEveryPosition) {
    std::vector<std::uint8_t> original(2048 + 3);
    for (std::size_t i = 0; i < original.size(); ++i)
        original[i] = static_cast<std::uint8_t>(i * 31 + i / 256);
    std::vector<std::uint8_t> bytes = original;
    ScrambleConfig(bytes);
    EXPECT_NE(bytes, original);
    EXPECT_EQ(bytes.size(), original.size());
    UnscrambleConfig(bytes);
    EXPECT_EQ(bytes, original);
}

TEST(ConfigScramblerTest, KeyRepeatsEvery512Bytes) {
    std::vector<std::uint8_t> bytes(1024, 'A');
    UnscrambleConfig(bytes);
    bool allSame = true;
    for (std::size_t i = 0; i < 512; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bytes[i], bytes[i + 512]);
        allSame = allSame && bytes[i] == bytes[0];
    }
    EXPECT_FALSE(allSame);
}

TEST(ConfigScramblerTest, EmptyBufferStaysEmpty) {
    std::vector<std::uint8_t> bytes;
    UnscrambleConfig(bytes);
    ScrambleConfig(bytes);
    EXPECT_TRUE(bytes.empty());
}

// Each test runs with its own temporary directory as the current directory, which "Ombrel.dat"
// is relative to.
class ReadConfigFileTest : public ::testing::Test {
protected:
    void WriteScrambled(std::string_view plain) {
        std::vector<std::uint8_t> bytes = Bytes(plain);
        ScrambleConfig(bytes);
        test::WriteFileBytes(dir.Child(L"Ombrel.dat"), std::string(bytes.begin(), bytes.end()));
    }

    static std::string FailureText() {
        try {
            (void)ReadConfigFile();
        } catch (const std::runtime_error& error) {
            return error.what();
        }
        return "no error";
    }

    TempDir dir;
    test::WorkingDirectory inDir{dir.Path()};
};

TEST_F(ReadConfigFileTest, ReadsTheScrambledFile) {
    WriteScrambled("host=10.0.0.1\nport=5555\ndiscord=https://discord.example/x\n");
    LauncherConfig config = ReadConfigFile();
    EXPECT_EQ(config.host, L"10.0.0.1");
    EXPECT_EQ(config.port, 5555);
    EXPECT_EQ(config.discord, L"https://discord.example/x");
}

TEST_F(ReadConfigFileTest, MissingFile) {
    EXPECT_EQ(FailureText(), "Ombrel.dat not found.");
}

TEST_F(ReadConfigFileTest, DirectoryInsteadOfFile) {
    ASSERT_TRUE(CreateDirectoryAt(dir.Child(L"Ombrel.dat")));
    EXPECT_EQ(FailureText(), "Ombrel.dat not found.");
}

TEST_F(ReadConfigFileTest, EmptyFile) {
    test::WriteFileBytes(dir.Child(L"Ombrel.dat"), "");
    EXPECT_EQ(FailureText(), "Ombrel.dat is empty.");
}

TEST_F(ReadConfigFileTest, OneByteFileGivesDefaults) {
    WriteScrambled("h");
    LauncherConfig config = ReadConfigFile();
    EXPECT_EQ(config.host, L"");
    EXPECT_EQ(config.port, 0);
    EXPECT_EQ(config.website, L"");
}

TEST_F(ReadConfigFileTest, PlainTextIsNotAConfiguration) {
    test::WriteFileBytes(dir.Child(L"Ombrel.dat"), "host=10.0.0.1\nport=5555\n");
    LauncherConfig config = ReadConfigFile();
    EXPECT_EQ(config.host, L"");
    EXPECT_EQ(config.port, 0);
}

TEST_F(ReadConfigFileTest, LargeFileAcrossManyKeyPeriods) {
    std::string plain(200000, '\n');
    plain += "host=9.9.9.9\n";
    WriteScrambled(plain);
    EXPECT_EQ(ReadConfigFile().host, L"9.9.9.9");
}

}  // namespace
}  // namespace ombrelta
