// The platform's HTTP client against a real nginx: whole objects and ranges over one kept
// connection, and every answer it must refuse.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "common/HttpClient.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/NginxProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

// Every byte of the range; a fault's reason instead, prefixed "fault: ".
std::string Fetch(HttpClient& client, const std::string& url, const ObjectRange& range) {
    if (!client.Open(url, range))
        return "fault: " + client.Fault();
    std::string bytes;
    for (;;) {
        const auto piece = client.Read();
        if (!piece)
            return "fault: " + client.Fault();
        if (piece->empty())
            return bytes;
        bytes.append(reinterpret_cast<const char*>(piece->data()), piece->size());
    }
}

// The first log line that starts with start; empty when none does.
std::string LineWith(const std::string& log, const std::string& start) {
    const std::size_t at = log.find(start);
    return at == std::string::npos || (at != 0 && log[at - 1] != '\n') ? "" : log.substr(at, log.find('\n', at) - at);
}

const char kRedirects[] =
    "location = /r1 { return 302 /r2; }\n location = /r2 { return 302 /r3; }\n"
    " location = /r3 { return 302 /r4; }\n location = /r4 { return 302 /md5/object; }\n"
    " location /gz/ { add_header Content-Encoding gzip; }\n";

TEST(MirrorHttp, FetchesRangesOverOneConnectionAndRefusesWhatWasNotAsked) {
    TempDir temp;
    const fs::path root = fs::path(temp.Path()) / "www";
    const std::string object = PseudoRandomBytes(3 * 1024 * 1024 + 5, 38);
    WriteTree(root, {{"md5/object", object}, {"gz/object", object}});
    NginxProcess nginx(fs::path(temp.Path()) / "nginx", root, kRedirects);
    ASSERT_NE(nginx.Port(), 0);
    const std::string base = "http://127.0.0.1:" + std::to_string(nginx.Port());
    const std::uint64_t size = object.size();

    HttpClient client;
    EXPECT_TRUE(Fetch(client, base + "/md5/object", {0, size, size}) == object);
    EXPECT_TRUE(Fetch(client, base + "/md5/object", {1000, size, size}) == object.substr(1000));
    EXPECT_TRUE(Fetch(client, base + "/md5/object", {1000, 3000, size}) == object.substr(1000, 2000));
    EXPECT_TRUE(Fetch(client, base + "/r2", {0, size, size}) == object) << "three redirects are followed";
    const struct {
        const char* what;
        std::string url;
        ObjectRange range;
        std::string reason;
    } faults[] = {
        {"missing", base + "/md5/none", {0, size, size}, "status 404"},
        {"longer than asked", base + "/md5/object", {0, size - 1, size - 1}, "Content-Length"},
        {"range of another size", base + "/md5/object", {10, size + 1, size + 1}, "Content-Length"},
        {"encoded", base + "/gz/object", {0, size, size}, "Content-Encoding gzip"},
        {"four redirects", base + "/r1", {0, size, size}, "redirect"},
        {"refused", "http://127.0.0.1:" + std::to_string(FreePort()) + "/md5/object", {0, size, size}, "onnect"},
    };
    for (const auto& row : faults) {
        SCOPED_TRACE(row.what);
        const std::string result = Fetch(client, row.url, row.range);
        EXPECT_TRUE(result.starts_with("fault: ") && result.find(row.reason) != std::string::npos)
            << result.substr(0, 200);
    }

    // The whole object without a range, parts of it with one, all on one connection.
    const std::string log = nginx.AccessLog();
    const std::string whole = LineWith(log, "/md5/object 200 " + std::to_string(size) + " \"-\" ");
    const std::string rest = LineWith(
        log, "/md5/object 206 " + std::to_string(size - 1000) + " \"bytes=1000-" + std::to_string(size - 1) + "\" ");
    const std::string inner = LineWith(log, "/md5/object 206 2000 \"bytes=1000-2999\" ");
    ASSERT_FALSE(whole.empty() || rest.empty() || inner.empty()) << log;
    EXPECT_EQ(whole.substr(whole.rfind(' ')), rest.substr(rest.rfind(' '))) << log;
    EXPECT_EQ(whole.substr(whole.rfind(' ')), inner.substr(inner.rfind(' '))) << log;
}

}  // namespace
}  // namespace ombrelta::test
