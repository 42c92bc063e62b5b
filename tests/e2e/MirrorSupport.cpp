#include "tests/e2e/MirrorSupport.h"

#include <sstream>

#include <gtest/gtest.h>

#include "common/DigestHasher.h"
#include "common/Hex.h"
#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ServerProcess.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

std::string Md5Of(const std::string& bytes) {
    const auto digest = Md5Hasher::Of({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    return digest ? BytesToHex(*digest) : std::string();
}

std::string PatchName(int version) {
    return "patch-000" + std::to_string(version) + ".zip";
}

}  // namespace

MirrorSite::MirrorSite(const fs::path& root) : root(root) {
    gameFiles = {{kBigFile, PseudoRandomBytes(3 * 1024 * 1024, 1)},
                 {"data/b.bin", PseudoRandomBytes(200000, 2)},
                 {"data/c d.txt", "small"}};
    WriteTree(root / "server/files", gameFiles);
    for (const auto& [name, bytes] : gameFiles)
        WriteFile(root / "www/md5" / Md5Of(bytes), bytes);
    for (int version = 1; version <= 3; ++version) {
        const FileSpec notes{"notes/p" + std::to_string(version) + ".txt", PseudoRandomBytes(50000, 10 + version)};
        patchFiles.push_back(notes);
        const fs::path archive = root / "server/patches" / PatchName(version);
        MakeZip(archive, {{"version.dat", std::to_string(version) + "\r\n"}, notes});
        fs::create_directories(root / "www/patches");
        fs::copy_file(archive, root / "www/patches" / PatchName(version));
    }
    WriteTree(root / "install", {{"version.dat", "0\r\n"}});
}

fs::path MirrorSite::BigObject() const {
    return root / "www/md5" / Md5Of(gameFiles[0].second);
}

std::uint64_t MirrorSite::PatchBytes() const {
    std::uint64_t bytes = 0;
    for (int version = 1; version <= 3; ++version)
        bytes += fs::file_size(root / "server/patches" / PatchName(version));
    return bytes;
}

std::uint64_t MirrorSite::InstalledBytes() const {
    std::uint64_t bytes = PatchBytes();
    for (const auto& file : gameFiles)
        bytes += file.second.size();
    return bytes;
}

void MirrorSite::ExpectInstalled(const fs::path& install) const {
    EXPECT_EQ(ReadFile(install / "version.dat"), "3\r\n");
    for (const std::vector<FileSpec>* files : {&gameFiles, &patchFiles}) {
        for (const auto& [name, bytes] : *files)
            EXPECT_TRUE(ReadFile(install / name) == bytes) << name;
    }
}

CheckRun RunChecker(const std::vector<std::string>& checker, const fs::path& install) {
    const fs::path errPath = install.string() + ".stderr";
    CheckRun run;
    {
        ChildProcess child(checker, PathArg(install), PathArg(errPath));
        run.out = child.ReadToEnd(kChildTimeout);
        run.exitCode = child.Wait(kChildTimeout);
    }
    run.err = ReadFile(errPath);
    return run;
}

CheckRun InstallAndCheck(const MirrorSite& site,
                         const std::string& name,
                         std::uint16_t serverPort,
                         const std::string& keys,
                         const std::vector<std::string>& checker) {
    const fs::path install = site.root / name;
    fs::copy(site.root / "install", install, fs::copy_options::recursive);
    WriteLauncherConfig(install, serverPort, keys);
    const CheckRun run = RunChecker(checker, install);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(run.out.ends_with("100\tReady.\n")) << run.out;
    site.ExpectInstalled(install);
    return run;
}

int LinesWith(const std::string& text, const std::string& part) {
    std::istringstream lines(text);
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        count += line.find(part) != std::string::npos ? 1 : 0;
    return count;
}

}  // namespace ombrelta::test
