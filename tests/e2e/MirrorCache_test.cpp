// The mirror behind a caching tier (varnish, what a CDN is on one machine) and over https with a
// test authority, for the native checker.
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/MirrorSupport.h"
#include "tests/e2e/NginxProcess.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kNative = {OMBRELTA_CHECK_EXE};

TEST(MirrorCache, ASecondLauncherIsServedFromTheCache) {
    TempDir temp;
    const MirrorSite site{fs::path(temp.Path())};
    ServerProcess server(PathArg(site.root / "server"), {}, PathArg(site.root / "server.log"));
    NginxProcess nginx(site.root / "nginx", site.root / "www");
    ASSERT_NE(nginx.Port(), 0);
    const std::uint16_t port = FreePort();
    ChildProcess varnish({"/usr/sbin/varnishd", "-F", "-j", "none", "-a", "127.0.0.1:" + std::to_string(port), "-b",
                          "127.0.0.1:" + std::to_string(nginx.Port()), "-n", PathArg(site.root / "varnish"), "-s",
                          "malloc,64m"},
                         PathArg(site.root), PathArg(site.root / "varnish.log"));
    ASSERT_TRUE(WaitUntilListening(port)) << ReadFile(site.root / "varnish.log");
    const std::string keys = "mirror=http://127.0.0.1:" + std::to_string(port) + "\n";

    const CheckRun first = InstallAndCheck(site, "first", server.Port(), keys, kNative);
    const CheckRun second = InstallAndCheck(site, "second", server.Port(), keys, kNative);

    const std::string mirror = " from 127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(LinesWith(first.err, mirror), 6) << first.err;
    EXPECT_EQ(LinesWith(second.err, mirror), 6) << second.err;
    // Each object reached nginx once, for the first launcher.
    const std::string log = nginx.AccessLog();
    EXPECT_EQ(LinesWith(log, " 200 "), 6) << log;
    EXPECT_EQ(LinesWith(log, "/md5/"), 3) << log;
    varnish.Signal(SIGTERM);
    EXPECT_EQ(varnish.Wait(kChildTimeout), 0);
}

// A test authority and a certificate for 127.0.0.1 that it signed, in dir.
void MakeCertificates(const fs::path& dir) {
    const std::string d = PathArg(dir);
    WriteFile(dir / "ext.cnf", "subjectAltName=IP:127.0.0.1\n");
    const std::vector<std::vector<std::string>> steps = {
        {"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
         "-keyout", d + "/ca.key", "-out", d + "/ca.pem", "-days", "2", "-subj", "/CN=Ombrelta test authority"},
        {"/usr/bin/openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
         d + "/server.key", "-out", d + "/server.csr", "-subj", "/CN=127.0.0.1"},
        {"/usr/bin/openssl", "x509", "-req", "-in", d + "/server.csr", "-CA", d + "/ca.pem", "-CAkey", d + "/ca.key",
         "-CAcreateserial", "-out", d + "/server.pem", "-days", "2", "-extfile", d + "/ext.cnf"},
    };
    for (const auto& step : steps)
        ASSERT_EQ(RunToEnd(step, d, kChildTimeout).exitCode, 0) << step[1];
}

TEST(MirrorCache, HttpsIsUsedOnlyWithATrustedAuthority) {
    TempDir temp;
    const MirrorSite site{fs::path(temp.Path())};
    ServerProcess server(PathArg(site.root / "server"), {}, PathArg(site.root / "server.log"));
    fs::create_directories(site.root / "tls");
    MakeCertificates(site.root / "tls");
    const std::string tls = PathArg(site.root / "tls");
    NginxProcess nginx(site.root / "nginx", site.root / "www",
                       "ssl_certificate " + tls + "/server.pem; ssl_certificate_key " + tls + "/server.key;", " ssl");
    ASSERT_NE(nginx.Port(), 0);
    const std::string keys = "mirror=https://127.0.0.1:" + std::to_string(nginx.Port()) + "\n";
    const std::string mirror = " from 127.0.0.1:" + std::to_string(nginx.Port());

    const CheckRun untrusted = InstallAndCheck(site, "untrusted", server.Port(), keys, kNative);
    EXPECT_EQ(LinesWith(untrusted.err, " failed on "), 1) << untrusted.err;
    EXPECT_EQ(LinesWith(untrusted.err, " from the server"), 6) << untrusted.err;

    ASSERT_EQ(setenv("SSL_CERT_FILE", (tls + "/ca.pem").c_str(), 1), 0);
    const CheckRun trusted = InstallAndCheck(site, "trusted", server.Port(), keys, kNative);
    unsetenv("SSL_CERT_FILE");
    EXPECT_EQ(LinesWith(trusted.err, mirror), 6) << trusted.err;
}

}  // namespace
}  // namespace ombrelta::test
