// The checker's live line in a real terminal: a tmux pane of 100 columns, read while it runs.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A tmux server of its own (its own socket, no user configuration), killed with its panes.
class TmuxServer {
public:
    TmuxServer() : socket("ombrelta-test-" + std::to_string(::getpid())) {}
    ~TmuxServer() { (void)Run("kill-server"); }
    TmuxServer(const TmuxServer&) = delete;
    TmuxServer& operator=(const TmuxServer&) = delete;

    // Runs one tmux command; its output, or nothing when it fails.
    std::optional<std::string> Run(const std::string& arguments) const {
        const std::string command = "tmux -L " + socket + " -f /dev/null " + arguments + " 2>/dev/null";
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
        if (!pipe)
            return std::nullopt;
        std::string out;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
            out.append(buffer, n);
        if (::pclose(pipe.release()) != 0)
            return std::nullopt;
        return out;
    }
    std::string Pane() const { return Run("capture-pane -p -t check").value_or(""); }

    // Captures the pane until it shows a line matching pattern; that line, or empty text.
    std::string WaitForLine(const std::regex& pattern, std::chrono::seconds timeout) const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            std::smatch found;
            const std::string pane = Pane();
            if (std::regex_search(pane, found, pattern))
                return found.str();
            std::this_thread::sleep_for(100ms);
        }
        return "";
    }

    const std::string socket;
};

bool TmuxInstalled() {
    return std::system("command -v tmux >/dev/null 2>&1") == 0;
}

// The live line of a download: percent, bar, MiB done of total, speed, time left, text.
const std::regex kDownloadLine(
    R"((\d+)% \[([#.]{16})\] (\d+\.\d)/64\.0 MiB (\d+\.\d\d) MiB/s (\d+:\d\d) left  Repairing data\\world\\mossfield\.pak)");

struct Frame {
    int percent;
    double done;
};

Frame CheckFrame(const std::string& line) {
    std::smatch field;
    EXPECT_TRUE(std::regex_search(line, field, kDownloadLine)) << line;
    if (field.empty())
        return {};
    const Frame frame{std::stoi(field[1]), std::stod(field[3])};
    EXPECT_EQ(static_cast<int>(std::count(field[2].first, field[2].second, '#')), frame.percent * 16 / 100)
        << line;
    EXPECT_NEAR(frame.percent, frame.done * 100 / 64, 1.0) << line;
    // Held to 16 MiB/s by maxrate; the first second may add the quarter second the limit starts with.
    EXPECT_LE(std::stod(field[4]), 21.0) << line;
    return frame;
}

TEST(CheckTerminal, LiveLineWhileARepairRunsThenTheSummary) {
    if (!TmuxInstalled())
        GTEST_SKIP() << "tmux is not installed";
    TempDir temp;
    const fs::path root(temp.Path());
    WriteTree(root / "server/files", {{"data/world/mossfield.pak", PseudoRandomBytes(64 << 20, 41)}});
    fs::create_directories(root / "install");
    ServerProcess server(PathArg(root / "server"), {}, PathArg(root / "server.log"));
    ASSERT_NE(server.Port(), 0);
    // Held to 16 MiB/s, the repair takes about four seconds: long enough to watch.
    WriteLauncherConfig(root / "install", server.Port(), "maxrate=16384\n");

    TmuxServer tmux;
    // The checker starts only once the pane's bytes are being recorded.
    WriteFile(root / "run.sh", "tmux -L " + tmux.socket + " wait-for go\n'" +
                                   std::string(OMBRELTA_CHECK_EXE) + "'\necho \"exit=$?\"\nsleep 300\n");
    ASSERT_TRUE(tmux.Run("new-session -d -s check -x 100 -y 12 -c '" + PathArg(root / "install") +
                         "' 'sh \"" + PathArg(root / "run.sh") + "\"'"));
    ASSERT_TRUE(tmux.Run("pipe-pane -o -t check 'cat > \"" + PathArg(root / "raw.txt") + "\"'"));
    ASSERT_TRUE(tmux.Run("wait-for -S go"));

    const std::string first = tmux.WaitForLine(kDownloadLine, 60s);
    std::this_thread::sleep_for(1s);
    const std::string second = tmux.WaitForLine(kDownloadLine, 10s);
    std::cout << "captured frame: " << first << "\ncaptured frame: " << second << "\n";
    const Frame before = CheckFrame(first);
    const Frame after = CheckFrame(second);
    EXPECT_GT(after.done, before.done);
    EXPECT_GE(after.percent, before.percent);

    ASSERT_NE(tmux.WaitForLine(std::regex("exit=\\d+"), 60s), "") << tmux.Pane();
    const std::string pane = tmux.Pane();
    std::cout << pane;
    EXPECT_NE(pane.find("100% [################]  Ready."), std::string::npos) << pane;
    EXPECT_TRUE(
        std::regex_search(pane, std::regex("\nDownloaded 64\\.0 MiB in \\d+:\\d\\d, \\d+\\.\\d\\d MiB/s on "
                                           "average, 1 file repaired\\.\nexit=0\n")))
        << pane;
    // The pane's bytes: carriage returns and line feeds, nothing else that moves or paints.
    const std::string raw = ReadFile(root / "raw.txt");
    EXPECT_GT(raw.size(), 1000u);
    for (const char c : raw) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n') {
            ADD_FAILURE() << "control character " << static_cast<int>(c) << " in the output";
            break;
        }
    }
    EXPECT_TRUE(ReadFile(root / "install/data/world/mossfield.pak") ==
                ReadFile(root / "server/files/data/world/mossfield.pak"));
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace ombrelta::test
