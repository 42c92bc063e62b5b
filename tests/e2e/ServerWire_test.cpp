// The server's answers byte for byte, as a launcher receives them.
#include <algorithm>
#include <filesystem>
#include <span>

#include <gtest/gtest.h>

#include "common/BlockMap.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/RawConnection.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

class ServerWireTest : public ::testing::Test {
protected:
    fs::path Dir(const char* name) const { return fs::path(temp.Path()) / name; }

    std::string Exchange(RawConnection& connection, const std::string& payload) {
        EXPECT_TRUE(connection.Send(Frame(payload)));
        return connection.ReceivePacket().value_or("(closed)");
    }

    TempDir temp;
};

TEST_F(ServerWireTest, AnswersCarryExactlyTheProtocolBytes) {
    MakeZip(Dir("server") / "patches" / "p1.zip", {{"version.dat", "1"}});
    WriteTree(Dir("server") / "files", {{"a.bin", "abc"}, {"e.bin", ""}});
    const std::uint32_t archiveSize =
        static_cast<std::uint32_t>(fs::file_size(Dir("server") / "patches" / "p1.zip"));
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", "2"}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    RawConnection client(server.Port());
    ASSERT_TRUE(client.Connected());

    struct Row {
        const char* what;
        std::string request;
        std::string answer;
    } rows[] = {
        {"has next after 0", Hex("A8 9C 00 00 07") + "UNKNOWN" + Hex("07") + "UNKNOWN",
         Hex("05 00 A8 9C 01")},
        {"has next after 1", Hex("A8 9C 01 00 00 00"), Hex("05 00 A8 9C 00")},
        {"next after 0", Hex("A4 9C 00 00"),
         Hex("18 00 A4 9C 00 00 00 00 01 00 00 00 00 06") + "p1.zip" + Le32(archiveSize)},
        {"next after 1", Hex("A4 9C 01 00"), Hex("08 00 A4 9C 01 00 00 00")},
        {"patch end", Hex("A5 9C 01 00") + Le32(archiveSize), Hex("0C 00 A5 9C 01 00 00 00 00 00 00 00")},
        {"hash list", Hex("A7 9C 04") + "HOST" + Hex("07") + "UNKNOWN",
         Hex("67 00 A6 9C 00 00 02 00 05") + "a.bin" + Hex("20") + "900150983cd24fb0d6963f7d28e17f72" +
             Hex("03 00 00 00 00 00 00 00 01 05") + "e.bin" + Hex("20") + "d41d8cd98f00b204e9800998ecf8427e" +
             Hex("00 00 00 00 00 00 00 00")},
        {"file first chunk", Hex("A6 9C 01 00 00 00 00 00 00 00"),
         Hex("12 00 A6 9C 00 00 00 00 00 00 00 00 02 00 00 00") + "ab"},
        {"file last chunk", Hex("A6 9C 01 00 00 00 02 00 00 00"),
         Hex("11 00 A6 9C 00 00 00 00 01 00 00 00 01 00 00 00") + "c"},
        {"file end", Hex("A6 9C 01 00 00 00 03 00 00 00"),
         Hex("10 00 A6 9C 00 00 00 00 01 00 00 00 00 00 00 00")},
        {"empty file", Hex("A6 9C 01 00 01 00 00 00 00 00"),
         Hex("10 00 A6 9C 00 00 00 00 01 00 00 00 00 00 00 00")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ToHex(Exchange(client, row.request)), ToHex(row.answer));
    }
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(ServerWireTest, BlockMapsArePiecesOfTheMapMadeAtLoad) {
    const std::string big = PseudoRandomBytes(4 * 1024 * 1024 + 1, 3);
    WriteTree(Dir("server") / "files", {{"a.bin", "abc"}, {"big.bin", big}});
    ServerProcess server(PathArg(Dir("server")), {}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(big.data()), big.size());
    BlockMap expected{.fileSize = big.size(), .fileMd5 = *Md5Hasher::Of(bytes), .blocks = {}};
    for (std::size_t at = 0; at < big.size(); at += kMapBlockSize)
        expected.blocks.push_back(
            BlockDigestOf(bytes.subspan(at, std::min<std::size_t>(kMapBlockSize, big.size() - at))));
    const std::vector<std::uint8_t> written = WriteBlockMap(expected);
    const std::string map(written.begin(), written.end());
    ASSERT_EQ(map.size(), 124u);
    {
        RawConnection client(server.Port());
        EXPECT_EQ(ToHex(Exchange(client, Hex("A9 9C 00 00 00 00 00 00"))),
                  ToHex(Hex("0C 00 A9 9C 00 00 00 00 00 00 00 00")));
        EXPECT_EQ(ToHex(Exchange(client, Hex("A9 9C 01 00 00 00 00 00"))),
                  ToHex(Hex("88 00 A9 9C 7C 00 00 00 7C 00 00 00") + map));
        EXPECT_EQ(ToHex(Exchange(client, Hex("A9 9C 01 00 64 00 00 00"))),
                  ToHex(Hex("24 00 A9 9C 7C 00 00 00 18 00 00 00") + map.substr(100)));
    }
    const struct {
        const char* what;
        std::string request;
    } refused[] = {
        {"offset at the map's end", Hex("A9 9C 01 00 7C 00 00 00")},
        {"offset past a file without a map", Hex("A9 9C 00 00 01 00 00 00")},
        {"unknown file id", Hex("A9 9C 02 00 00 00 00 00")},
        {"a byte too many", Hex("A9 9C 01 00 00 00 00 00 00")},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.what);
        RawConnection client(server.Port());
        EXPECT_EQ(Exchange(client, row.request), "(closed)");
    }
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(ServerWireTest, PatchChunksWalkTheArchive) {
    MakeZip(Dir("server") / "patches" / "p7.zip",
            {{"version.dat", "7"}, {"x.bin", PseudoRandomBytes(2000, 4)}});
    const std::string archive = ReadFile(Dir("server") / "patches" / "p7.zip");
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", "1000"}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    RawConnection client(server.Port());

    std::string received;
    bool last = false;
    while (!last && received.size() <= archive.size()) {
        std::string answer =
            Exchange(client, Hex("A5 9C 07 00") + Le32(static_cast<std::uint32_t>(received.size())));
        ASSERT_GE(answer.size(), 12u);
        last = answer[4] == 1;
        std::uint32_t size =
            static_cast<unsigned char>(answer[8]) | (static_cast<unsigned char>(answer[9]) << 8);
        ASSERT_EQ(answer.size(), 12u + size);
        EXPECT_LE(size, 1000u);
        received += answer.substr(12);
    }
    EXPECT_TRUE(received == archive);
    EXPECT_EQ(server.Stop(), 0);
}

// A launcher with several chunk requests in flight relies on answers in the order asked.
TEST_F(ServerWireTest, ChunkRequestsSentBackToBackAreAnsweredInOrder) {
    MakeZip(Dir("server") / "patches" / "p3.zip", {{"version.dat", "3"}, {"x.bin", PseudoRandomBytes(5000, 7)}});
    const std::string archive = ReadFile(Dir("server") / "patches" / "p3.zip");
    const std::string game = PseudoRandomBytes(5000, 8);
    WriteTree(Dir("server") / "files", {{"g.bin", game}});
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", "700"}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    RawConnection client(server.Port());

    struct Kind {
        const char* name;
        std::string requestPrefix;
        std::string content;
        std::size_t header;
    } kinds[] = {{"patch", Hex("A5 9C 03 00"), archive, 12}, {"game file", Hex("A6 9C 01 00 00 00"), game, 16}};
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const std::vector<std::uint32_t> offsets{2100, 0, 4900, 700, 1400};
        std::string requests;
        for (std::uint32_t offset : offsets)
            requests += Frame(kind.requestPrefix + Le32(offset));
        ASSERT_TRUE(client.Send(requests));
        for (std::uint32_t offset : offsets) {
            SCOPED_TRACE(offset);
            const std::string answer = client.ReceivePacket().value_or("");
            ASSERT_GE(answer.size(), kind.header);
            EXPECT_TRUE(answer.substr(kind.header) == kind.content.substr(offset, 700));
        }
    }
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(ServerWireTest, LargestChunksFillAWholePacket) {
    MakeZip(Dir("server") / "patches" / "big.zip",
            {{"version.dat", "2"}, {"x.bin", PseudoRandomBytes(70000, 5)}});
    WriteTree(Dir("server") / "files", {{"big.bin", PseudoRandomBytes(70000, 6)}});
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", "100000"}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    RawConnection client(server.Port());

    std::string patch = Exchange(client, Hex("A5 9C 02 00 00 00 00 00"));
    EXPECT_EQ(ToHex(patch.substr(0, 12)), ToHex(Hex("FF FF A5 9C 00 00 00 00") + Le32(65523)));
    std::string file = Exchange(client, Hex("A6 9C 01 00 00 00 00 00 00 00"));
    EXPECT_EQ(ToHex(file.substr(0, 16)), ToHex(Hex("FF FF A6 9C 00 00 00 00 00 00 00 00") + Le32(65519)));
    std::string rest = Exchange(client, Hex("A6 9C 01 00 00 00") + Le32(65519));
    EXPECT_EQ(ToHex(rest.substr(0, 16)),
              ToHex(Hex("91 11 A6 9C 00 00 00 00 01 00 00 00") + Le32(70000 - 65519)));
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(ServerWireTest, FullListOf255FilesTravelsInOneAnswer) {
    std::vector<FileSpec> files;
    for (int i = 0; i < 255; ++i)
        files.push_back({"f" + std::to_string(1000 + i), ""});
    WriteTree(Dir("server") / "files", files);
    ServerProcess server(PathArg(Dir("server")), {}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    RawConnection client(server.Port());

    std::string list = Exchange(client, Hex("A7 9C 00 00"));
    ASSERT_GE(list.size(), 7u);
    EXPECT_EQ(static_cast<unsigned char>(list[6]), 255);
    EXPECT_EQ(list.size(), 7u + 255u * (11 + 5 + 32));
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(ServerWireTest, RootWithoutGameFilesAnswersAnEmptyList) {
    fs::create_directories(Dir("server") / "patches");
    ServerProcess server(PathArg(Dir("server")), {}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    RawConnection client(server.Port());

    std::string list = Exchange(client, Hex("A7 9C 00 00"));
    ASSERT_EQ(list.size(), 7u);
    EXPECT_EQ(list[6], 0);
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace ombrelta::test
