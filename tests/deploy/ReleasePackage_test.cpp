// The release archives made from this build: complete, checksummed, stripped with debug links,
// and enough on their own for an operator to publish a patch and a player to get it.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::milliseconds kPackageTimeout{300000};

std::string Shell(const std::string& command, const fs::path& cwd) {
    const RunResult result = RunToEnd({"/bin/sh", "-c", command + " 2>&1"}, PathArg(cwd), kPackageTimeout);
    EXPECT_EQ(result.exitCode, 0) << command << "\n" << result.out;
    return result.out;
}

// The one folder an archive unpacked into.
fs::path OnlyChild(const fs::path& dir) {
    std::vector<fs::path> children;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        children.push_back(entry.path());
    EXPECT_EQ(children.size(), 1u);
    return children.empty() ? dir : children.front();
}

// The archives are made and unpacked once for all tests of the suite.
class ReleasePackageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!fs::exists(fs::path(OMBRELTA_WINDOWS_BUILD_DIR) / "app/OmbreltaLauncher.exe"))
            return;
        temp = new TempDir;
        root = fs::path(temp->Path());
        Shell("bash '" OMBRELTA_SOURCE_DIR "/scripts/package.sh' '" OMBRELTA_WINDOWS_BUILD_DIR "' '" +
                  std::string(OMBRELTA_NATIVE_BUILD_DIR) + "' out",
              root);
        Shell("sha256sum -c SHA256SUMS", root / "out");
        fs::create_directories(root / "windows");
        fs::create_directories(root / "linux");
        Shell("unzip -q ../out/ombrelta-launcher-*-windows.zip", root / "windows");
        Shell("tar -xzf ../out/ombrelta-server-*-linux-x86_64.tar.gz", root / "linux");
        windowsPackage = OnlyChild(root / "windows");
        linuxPackage = OnlyChild(root / "linux");
    }

    static void TearDownTestSuite() {
        delete temp;
        temp = nullptr;
    }

    void SetUp() override {
        if (temp == nullptr)
            GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_BUILD_DIR;
    }

    static inline TempDir* temp = nullptr;
    static inline fs::path root;
    static inline fs::path windowsPackage;
    static inline fs::path linuxPackage;
};

TEST_F(ReleasePackageTest, HoldsEveryProgramStrippedWithItsDebugLink) {
    const char* const windowsFiles[] = {"OmbreltaLauncher.exe", "ombrelta-check.exe", "ombrelta-config.exe",
                                        "ombrelta-server.exe", "Ombrel.txt", "README-operators.txt",
                                        "data2/Ombrelta/IMAGE_BACKGROUNDPIC.png"};
    for (const char* file : windowsFiles) {
        SCOPED_TRACE(file);
        EXPECT_TRUE(fs::is_regular_file(windowsPackage / file));
    }
    const char* const linuxFiles[] = {"bin/ombrelta-server", "bin/ombrelta-patch", "bin/ombrelta-check",
                                      "bin/ombrelta-config", "deploy/systemd/ombrelta-server.service", "deploy/haproxy/haproxy.cfg",
                                      "deploy/prometheus/prometheus.yml", "deploy/prometheus/ombrelta.rules.yml",
                                      "deploy/nginx/mirror.conf",
                                      "operators.md", "launcher.md", "formats.md"};
    for (const char* file : linuxFiles) {
        SCOPED_TRACE(file);
        EXPECT_TRUE(fs::is_regular_file(linuxPackage / file));
    }
    EXPECT_NE(Shell("i686-w64-mingw32-objdump -h OmbreltaLauncher.exe", windowsPackage).find(".gnu_debuglink"),
              std::string::npos);
    const std::string sections = Shell("objdump -h bin/ombrelta-server", linuxPackage);
    EXPECT_NE(sections.find(".gnu_debuglink"), std::string::npos);
    EXPECT_EQ(sections.find(".debug_info"), std::string::npos);
    EXPECT_EQ(Shell("ls out/*-debug.tar.gz | wc -l", root), "1\n");
}

// With a key and a certificate every Windows program is Authenticode-signed before the sums are
// made; without them the programs carry no signature.
TEST_F(ReleasePackageTest, SignsEveryWindowsProgramWhenGivenAKey) {
    Shell(
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Ombrelta test signing' "
        "-addext extendedKeyUsage=codeSigning -keyout sign-key.pem -out sign-cert.pem",
        root);
    const std::string packed =
        Shell("bash '" OMBRELTA_SOURCE_DIR "/scripts/package.sh' '" OMBRELTA_WINDOWS_BUILD_DIR "' '" +
                  std::string(OMBRELTA_NATIVE_BUILD_DIR) +
                  "' signed-out --sign-key sign-key.pem --sign-cert sign-cert.pem",
              root);
    EXPECT_NE(packed.find("signed 4 Windows programs"), std::string::npos) << packed;
    Shell("sha256sum -c SHA256SUMS", root / "signed-out");
    fs::create_directories(root / "signed");
    Shell("unzip -q ../signed-out/ombrelta-launcher-*-windows.zip", root / "signed");
    const fs::path signedPackage = OnlyChild(root / "signed");
    for (const char* program :
         {"OmbreltaLauncher.exe", "ombrelta-check.exe", "ombrelta-config.exe", "ombrelta-server.exe"}) {
        SCOPED_TRACE(program);
        const std::string verified = Shell(
            "osslsigncode verify -CAfile ../../sign-cert.pem -in " + std::string(program), signedPackage);
        EXPECT_NE(verified.find("Message digest algorithm  : SHA256"), std::string::npos) << verified;
        EXPECT_NE(verified.find("Signature verification: ok"), std::string::npos) << verified;
        EXPECT_EQ(Shell("osslsigncode verify -CAfile ../../sign-cert.pem -in " + std::string(program) +
                            " >/dev/null 2>&1 || echo unsigned",
                        windowsPackage),
                  "unsigned\n");
    }
}

// The packaged Linux tools make and serve a patch; the packaged Windows tools, under Wine, write
// "Ombrel.dat" and bring an installation up to date with it.
TEST_F(ReleasePackageTest, PackagedToolsPublishAPatchAndACheckerGetsIt) {
    const std::string patched = PseudoRandomBytes(70000, 7);
    WriteTree(root / "v1", {{"data/world.pak", patched}, {"readme.txt", "Ombrelta 1\r\n"}});
    WriteTree(root / "content/files", {{"data/world.pak", patched}});
    fs::create_directories(root / "v0");
    fs::create_directories(root / "content/patches");
    Shell("'" + PathArg(linuxPackage / "bin/ombrelta-patch") + "' make --from v0 --to v1 --version 1 --out content/patches/p1.zip",
          root);
    ServerProcess server(PathArg(root / "content"), {}, PathArg(root / "server.log"),
                         {PathArg(linuxPackage / "bin/ombrelta-server")});
    ASSERT_NE(server.Port(), 0);

    std::string settings = ReadFile(windowsPackage / "Ombrel.txt");
    const std::size_t port = settings.find("port=47000");
    ASSERT_NE(port, std::string::npos);
    settings.replace(port, 10, "port=" + std::to_string(server.Port()));
    WriteFile(windowsPackage / "Ombrel.txt", settings);
    const RunResult config = RunToEnd({OMBRELTA_WINE_RUN, PathArg(windowsPackage / "ombrelta-config.exe"), "encode",
                                       "Ombrel.txt", "Ombrel.dat"},
                                      PathArg(windowsPackage), kChildTimeout);
    ASSERT_EQ(config.exitCode, 0);

    const RunResult check = RunToEnd({OMBRELTA_WINE_RUN, PathArg(windowsPackage / "ombrelta-check.exe")}, PathArg(windowsPackage),
                                     kChildTimeout);
    EXPECT_EQ(check.exitCode, 0) << check.out << server.Log();
    EXPECT_TRUE(check.out.ends_with("\tReady.\n")) << check.out;
    EXPECT_EQ(ReadFile(windowsPackage / "version.dat"), "1\r\n");
    EXPECT_TRUE(ReadFile(windowsPackage / "data/world.pak") == patched);
    EXPECT_EQ(ReadFile(windowsPackage / "readme.txt"), "Ombrelta 1\r\n");
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace ombrelta::test
