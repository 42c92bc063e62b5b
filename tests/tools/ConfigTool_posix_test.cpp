#include "common/FileSystem.h"
#include "common/Text.h"
#include "config/LauncherConfig.h"
#include "tests/support/TempDir.h"

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string Quoted(const std::wstring& path) {
    return "'" + WideToUtf8(path) + "'";
}

// Runs the tool with a shell command line after its name; returns its exit code.
int RunTool(const std::string& arguments) {
    std::string command = std::string("'") + OMBRELTA_CONFIG_TOOL + "' " + arguments;
    int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::string BinaryInput() {
    std::string bytes;
    for (int i = 0; i < 3000; ++i)
        bytes += static_cast<char>((i * 37 + i / 256) & 0xFF);
    return bytes;
}

std::string Scrambled(const std::string& plain) {
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ScrambleConfig(bytes);
    return std::string(bytes.begin(), bytes.end());
}

TEST(ConfigToolTest, EncodeThenDecodeGivesTheSameBytes) {
    TempDir dir;
    const std::string plain = BinaryInput();
    WriteFileBytes(dir.Child(L"plain"), plain);
    ASSERT_EQ(RunTool("encode --lenient " + Quoted(dir.Child(L"plain")) + " " + Quoted(dir.Child(L"Ombrel.dat")) +
                      " 2>/dev/null"),
              0);
    std::string encoded = ReadFileBytes(dir.Child(L"Ombrel.dat"));
    EXPECT_EQ(encoded, Scrambled(plain));
    ASSERT_EQ(RunTool("decode " + Quoted(dir.Child(L"Ombrel.dat")) + " " + Quoted(dir.Child(L"back"))), 0);
    EXPECT_EQ(ReadFileBytes(dir.Child(L"back")), plain);
}

TEST(ConfigToolTest, StandardStreamsByDefaultAndByDash) {
    TempDir dir;
    const std::string plain = BinaryInput();
    WriteFileBytes(dir.Child(L"plain"), plain);
    ASSERT_EQ(RunTool("encode --lenient < " + Quoted(dir.Child(L"plain")) + " > " + Quoted(dir.Child(L"a")) + " 2>&-"), 0);
    ASSERT_EQ(RunTool("encode - --lenient - < " + Quoted(dir.Child(L"plain")) + " > " + Quoted(dir.Child(L"b")) + " 2>&-"),
              0);
    ASSERT_EQ(RunTool("decode - < " + Quoted(dir.Child(L"a")) + " > " + Quoted(dir.Child(L"c"))), 0);
    EXPECT_EQ(ReadFileBytes(dir.Child(L"a")), Scrambled(plain));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"b")), Scrambled(plain));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"c")), plain);
}

TEST(ConfigToolTest, EmptyInputGivesEmptyOutput) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"empty"), "");
    ASSERT_EQ(RunTool("encode --lenient " + Quoted(dir.Child(L"empty")) + " " + Quoted(dir.Child(L"out")) + " 2>&-"), 0);
    EXPECT_EQ(GetFileSize(dir.Child(L"out")), 0u);
}

TEST(ConfigToolTest, SameFileInAndOut) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"file"), "host=127.0.0.1\nport=4000\n");
    ASSERT_EQ(RunTool("encode " + Quoted(dir.Child(L"file")) + " " + Quoted(dir.Child(L"file"))), 0);
    EXPECT_EQ(ReadFileBytes(dir.Child(L"file")), Scrambled("host=127.0.0.1\nport=4000\n"));
}

TEST(ConfigToolTest, UsageErrors) {
    const std::vector<std::string> cases = {"", "bogus", "ENCODE", "encode a b c", "decode - - -"};
    for (const std::string& arguments : cases) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(RunTool(arguments + " < /dev/null > /dev/null 2>&1"), 2);
    }
}

TEST(ConfigToolTest, InputAndOutputErrors) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"plain"), "host=1.2.3.4\nport=47000\n");
    EXPECT_EQ(
        RunTool("encode " + Quoted(dir.Child(L"missing")) + " " + Quoted(dir.Child(L"out")) + " 2>/dev/null"),
        1);
    EXPECT_FALSE(PathExists(dir.Child(L"out")));
    EXPECT_EQ(RunTool("decode " + Quoted(dir.Path()) + " - 2>/dev/null"), 1);
    EXPECT_EQ(RunTool("encode " + Quoted(dir.Child(L"plain")) + " " + Quoted(dir.Child(L"no/such/dir")) +
                      " 2>/dev/null"),
              1);
}

TEST(ConfigToolTest, FullDeviceIsAWriteErrorAndIsLeftInPlace) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"plain"), "host=1.2.3.4\nport=47000\n");
    EXPECT_EQ(RunTool("encode " + Quoted(dir.Child(L"plain")) + " > /dev/full 2>/dev/null"), 1);
    EXPECT_EQ(RunTool("encode " + Quoted(dir.Child(L"plain")) + " /dev/full 2>/dev/null"), 1);
    EXPECT_TRUE(PathExists(L"/dev/full"));
}

TEST(ConfigToolTest, ErrorIsOneLineOnStandardError) {
    TempDir dir;
    ASSERT_EQ(RunTool("encode " + Quoted(dir.Child(L"missing")) + " 2>" + Quoted(dir.Child(L"err"))), 1);
    std::string message = ReadFileBytes(dir.Child(L"err"));
    ASSERT_FALSE(message.empty());
    EXPECT_EQ(message.find('\n'), message.size() - 1);
    EXPECT_NE(message.find("cannot read"), std::string::npos);
}

// Nothing is written for text a launcher would not use, unless --lenient lets it through.
TEST(ConfigToolTest, EncodeRefusesWhatALauncherWouldNotUseUnlessLenient) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"plain"), "host=127.0.0.1\nport=abc\ndelat=1\n");
    const std::string files = Quoted(dir.Child(L"plain")) + " " + Quoted(dir.Child(L"Ombrel.dat"));
    EXPECT_EQ(RunTool("encode " + files + " 2>" + Quoted(dir.Child(L"err"))), 2);
    EXPECT_FALSE(PathExists(dir.Child(L"Ombrel.dat")));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"err")),
              "ombrelta-config: line 2: port=abc: expected a port number from 1 to 65535\n"
              "ombrelta-config: line 3: unknown key delat\n");
    EXPECT_EQ(RunTool("encode --lenient " + files + " 2>" + Quoted(dir.Child(L"err"))), 0);
    EXPECT_EQ(ReadFileBytes(dir.Child(L"Ombrel.dat")), Scrambled("host=127.0.0.1\nport=abc\ndelat=1\n"));
    EXPECT_NE(ReadFileBytes(dir.Child(L"err")).find("ombrelta-config: warning: line 3: unknown key delat\n"),
              std::string::npos);
}

TEST(ConfigToolTest, EncodedFileConfiguresTheLauncher) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"plain"), "HOST = 10.1.2.3\r\nport=7777\r\n");
    ASSERT_EQ(RunTool("encode " + Quoted(dir.Child(L"plain")) + " " + Quoted(dir.Child(L"Ombrel.dat"))), 0);
    std::string scrambled = ReadFileBytes(dir.Child(L"Ombrel.dat"));
    std::vector<std::uint8_t> bytes(scrambled.begin(), scrambled.end());
    UnscrambleConfig(bytes);
    LauncherConfig config = ParseConfigText(std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(config.host, L"10.1.2.3");
    EXPECT_EQ(config.port, 7777);
}

}  // namespace
}  // namespace ombrelta
