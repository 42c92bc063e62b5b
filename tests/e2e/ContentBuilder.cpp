#include "tests/e2e/ContentBuilder.h"

#include <fstream>
#include <iterator>
#include <random>

#include <gtest/gtest.h>

#include "config/LauncherConfig.h"
#include "tests/e2e/ChildProcess.h"

namespace ombrelta::test {

std::string PseudoRandomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        ADD_FAILURE() << "cannot write " << path;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteTree(const std::filesystem::path& dir, const std::vector<FileSpec>& files) {
    for (const auto& [name, bytes] : files)
        WriteFile(dir / name, bytes);
}

void MakeZip(const std::filesystem::path& zipPath, const std::vector<FileSpec>& files) {
    std::filesystem::path staging = zipPath;
    staging += ".staging";
    WriteTree(staging, files);
    std::filesystem::create_directories(zipPath.parent_path());
    // -X leaves out extra fields (owner, times), so an archive's bytes depend only on its files.
    std::vector<std::string> argv{OMBRELTA_ZIP_EXE, "-q", "-X", "-r",
                                  PathArg(std::filesystem::absolute(zipPath))};
    for (const auto& file : files)
        argv.push_back(file.first);
    RunResult result = RunToEnd(argv, PathArg(staging), std::chrono::seconds(60));
    EXPECT_EQ(result.exitCode, 0) << "zip failed for " << zipPath;
    std::filesystem::remove_all(staging);
}

void WriteLauncherConfig(const std::filesystem::path& dir, std::uint16_t port, std::string_view extraLines) {
    WriteLauncherConfigForHost(dir, "127.0.0.1", port, extraLines);
}

void WriteLauncherConfigForHost(const std::filesystem::path& dir,
                                std::string_view host,
                                std::uint16_t port,
                                std::string_view extraLines) {
    std::string text =
        "host=" + std::string(host) + "\nport=" + std::to_string(port) + "\n" + std::string(extraLines);
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    ScrambleConfig(bytes);
    WriteFile(dir / "Ombrel.dat", std::string(bytes.begin(), bytes.end()));
}

std::string PathArg(const std::filesystem::path& path) {
    return path.string();
}

}  // namespace ombrelta::test
