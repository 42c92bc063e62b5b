#include "config/ConfigCheck.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

// The curve's generator point: a valid P-256 public key.
const std::string kKey =
    "BGsX0fLhLEJH+Lzm5WOkQPJ3A32BLeszoPShOUXYmMKWT+NC4v4af5uO5+tKfA+eFivOM1drMV7Oy7ZAaDe/UfU=";
const std::string kServer = "host=127.0.0.1\nport=47000\n";

TEST(ConfigCheckTest, NamesEveryLineALauncherWouldNotUse) {
    struct Row {
        std::string text;
        std::vector<std::string> faults;
    } rows[] = {
        {kServer + "# a comment\n\r\nfacebook=\nwebsite=a=b\n", {}},
        {kServer + "pipeline=AUTO\nhashcache=1\nresume=0\nretries=10\nresolve=1\nmaxrate=16\ndelta=1\npublickey=" +
             kKey + " , " + kKey + "\npublickey=\n",
         {}},
        {"HOST = example.org\nport=1\nresolve=1\n", {}},
        {"host=example.org\nport=65535\n",
         {"line 1: host=example.org: expected a dotted IPv4 address (a host name or IPv6 address needs resolve=1)"}},
        {"host=\nport=0\nport=65536\nport=42x\n",
         {"line 1: host=: expected the launcher server's address",
          "line 2: port=0: expected a port number from 1 to 65535",
          "line 3: port=65536: expected a port number from 1 to 65535",
          "line 4: port=42x: expected a port number from 1 to 65535"}},
        {kServer + "delat=1\nface book=x\nhost 10.0.0.1\n=5\n",
         {"line 3: unknown key delat", "line 4: unknown key face book", "line 5: not a key=value line: host 10.0.0.1",
          "line 6: not a key=value line: =5"}},
        {kServer + "pipeline=0\nretries=11\nmaxrate=15\nhashcache=yes\npublickey=xyz\npublickey=" + kKey + "," +
             kKey + "," + kKey + "\n",
         {"line 3: pipeline=0: expected a whole number from 1 to 256, or auto",
          "line 4: retries=11: expected a whole number from 0 to 10",
          "line 5: maxrate=15: expected a whole number from 16 to 1000000 (KiB/s)",
          "line 6: hashcache=yes: expected 1 (on) or 0 (off)",
          "line 7: publickey=xyz: expected one or two base64 P-256 public keys separated by a comma, as "
          "\"ombrelta-patch keygen\" prints them",
          "line 8: publickey=" + kKey + "," + kKey + "," + kKey +
              ": expected one or two base64 P-256 public keys separated by a comma, as \"ombrelta-patch keygen\" "
              "prints them"}},
        {"", {"no host line: the launcher has no server to connect to",
              "no port line: the launcher has no server to connect to"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(CheckConfigText(row.text), row.faults);
    }
}

}  // namespace
}  // namespace ombrelta
