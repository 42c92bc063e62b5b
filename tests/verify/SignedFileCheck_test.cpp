#include "verify/SignedFileCheck.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Base64.h"
#include "tests/support/TempDir.h"
#include "tests/verify/GameServer.h"
#include "verify/FileVerifier.h"

namespace ombrelta {
namespace {

using test::FileExists;
using test::GameServer;
using test::IntactFile;
using test::TempDir;
using test::WorkingDirectory;

// Made once with the OpenSSL command-line tool (prime256v1; `openssl dgst -sha256 -sign`).
const char kPublicKey[] = "BJJ3ZwVMuIrEwFr9p7SjrNs8H+nDdFJSP5YkFPCrtr1PSgqLgf/wEHV2ZM2gWGM/f9btKBeGIsRAIsBxVXhAuuQ=";
// Another key, which signed none of these.
const char kOtherKey[] = "BDtGEU7AD2+pqzOqVGTQTmS3wq/NLEfB8G9np1Dh2/DRyiJq65VbhahFkq2TSJjQ6k9YubbGvfUmzX3zKgz924o=";
// The same with one character mistyped: no longer a point of the curve.
const char kMistypedKey[] = "BDtGEU7AD2+pqzOqVGTQTmS3wq/NLEfB8G9np1Dh2/DRyiJq65VbhahFkq2TSJjQ6k9YubbGvfUmzX3zKgz925o=";
// Signed for version 3.
const std::string kSignedList =
    "ombrelta-files 2\n"
    "version=3\n"
    "6 9f9f90dbe3e5ee1218c86b8839db1995 b6a98d9ce9a2d9149288fa3df42d377c3e42737afdcdaf714e33c0a100b51060 a.bin\n"
    "14 84e1e9d4d34a639410687c15d24be0bb 216a7dca9aa195c567b2ee6702e09e41b94115eae4104a729ddfc93c8ab1633d dir/b c.bin\n"
    "signature=MEQCIAEnXUt7SFAOy9DAdX8Ocff5xRRrx1K/2EvsZrPNG11VAiBhBvI9aUXKKghdrmrG/RAsOgUWOXYCm23XUlBu+yFGDw==\n";
// The same files, but the SHA-256 signed for a.bin is that of "ALPHA\n": as if MD5 collided.
const std::string kOtherSha256List =
    "ombrelta-files 2\n"
    "version=3\n"
    "6 9f9f90dbe3e5ee1218c86b8839db1995 1921b918b15842c7fdb115078e610263fac85f159c1d8e0ecec3d89a0faa4005 a.bin\n"
    "14 84e1e9d4d34a639410687c15d24be0bb 216a7dca9aa195c567b2ee6702e09e41b94115eae4104a729ddfc93c8ab1633d dir/b c.bin\n"
    "signature=MEYCIQCFxTI3hH/htXd/zA9JUMqvgiViv2vWtwweBrBuNVTJyAIhAPVSGHu+RZhaI8qOf5xkKkzvamBXsDwPxCzWXURsSXJz\n";
// The same files signed for version 2, as a replay of an older release would bring them.
const std::string kOlderList =
    "ombrelta-files 2\n"
    "version=2\n"
    "6 9f9f90dbe3e5ee1218c86b8839db1995 b6a98d9ce9a2d9149288fa3df42d377c3e42737afdcdaf714e33c0a100b51060 a.bin\n"
    "14 84e1e9d4d34a639410687c15d24be0bb 216a7dca9aa195c567b2ee6702e09e41b94115eae4104a729ddfc93c8ab1633d dir/b c.bin\n"
    "signature=MEYCIQDUSzNYi+AWpanb/YynLou/NTFb3+bj4ISDBRK1W2eihAIhAI1iWL2uELs3fcTgkGVUTalUJ6W+7oRe3sTX/a+Y+cIH\n";
// The same files in the unversioned form lists had before.
const std::string kUnversionedList =
    "ombrelta-files 1\n"
    "6 9f9f90dbe3e5ee1218c86b8839db1995 b6a98d9ce9a2d9149288fa3df42d377c3e42737afdcdaf714e33c0a100b51060 a.bin\n"
    "14 84e1e9d4d34a639410687c15d24be0bb 216a7dca9aa195c567b2ee6702e09e41b94115eae4104a729ddfc93c8ab1633d dir/b c.bin\n"
    "signature=MEUCIBw2an1E73vCXgO51g4ZjRj+uft/gF7a7qrmXAFkvaAHAiEAryKjv6eJ7AMYHHoiXA3nv3Q0o/3Qo8+UsCpMc+fDBCQ=\n";

std::vector<GameServer::File> SignedFiles(const std::string& list) {
    return {IntactFile(0, "a.bin", "alpha\n"), IntactFile(1, "dir/b c.bin", "bravo charlie\n"),
            IntactFile(2, kSignedFileListName, list)};
}

std::vector<std::uint8_t> Key() {
    return DecodeBase64(kPublicKey).value();
}

std::vector<std::uint8_t> ShortKey() {
    std::vector<std::uint8_t> key = Key();
    key.pop_back();
    return key;
}

// Runs the check in a fresh folder; returns the error text ("" after a successful run) and adds
// to written the listed files found on disk afterwards.
std::string RunCheck(const std::vector<GameServer::File>& files, const FileCheckSettings& settings,
                std::vector<std::string>& written) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    GameServer server(files);
    LauncherApi api;
    server.Connect(api);
    std::string error;
    try {
        EXPECT_TRUE(VerifyAndRepairFiles(api, nullptr, nullptr, settings));
    } catch (const std::runtime_error& e) {
        error = e.what();
    }
    for (const GameServer::File& file : files) {
        if (FileExists(dir.Child(std::wstring(file.path.begin(), file.path.end()))))
            written.push_back(file.path);
    }
    return error;
}

TEST(SignedFileCheck, EachRefusalEndsTheRunAndLeavesNothingUnsigned) {
    // A size that is still well-formed, so only the signature can catch it.
    std::string badSignature = kSignedList;
    badSignature[badSignature.find("\n6 ") + 1] = '7';
    GameServer::File wrongSize = IntactFile(0, "a.bin", "alpha\n");
    wrongSize.size = 7;
    GameServer::File changedChunks = IntactFile(0, "a.bin", "ALPHA\n");
    changedChunks.hash = "9F9F90DBE3E5EE1218C86B8839DB1995";
    struct Row {
        const char* name;
        std::vector<GameServer::File> files;
        FileCheckSettings settings;
        std::string error;
        std::vector<std::string> written;
    };
    const FileCheckSettings plain{.publicKey = Key(), .installedVersion = 3};
    const FileCheckSettings newer{.publicKey = Key(), .installedVersion = 4};
    const FileCheckSettings secondKey{.publicKey = PublicKeySet::Parse(std::string(kOtherKey) + ", " + kPublicKey),
                                      .installedVersion = 3};
    const FileCheckSettings mistypedOther{
        .publicKey = PublicKeySet::Parse(std::string(kPublicKey) + "," + kMistypedKey)};
    const FileCheckSettings threeKeys{
        .publicKey = PublicKeySet::Parse(std::string(kOtherKey) + "," + kOtherKey + "," + kPublicKey)};
    const FileCheckSettings windowed{.pipeline = 4, .publicKey = Key()};
    const FileCheckSettings kept{.resume = true, .publicKey = Key()};
    const FileCheckSettings emptyKey{.publicKey = std::vector<std::uint8_t>{}};
    const FileCheckSettings shortKey{.publicKey = ShortKey()};
    const FileCheckSettings noKey;
    const std::vector<std::string> all = {"a.bin", "dir/b c.bin", kSignedFileListName};
    const std::vector<Row> rows = {
        {"signed", SignedFiles(kSignedList), plain, "", all},
        {"signed, windowed", SignedFiles(kSignedList), windowed, "", all},
        {"signed, kept", SignedFiles(kSignedList), kept, "", all},
        {"second of two keys", SignedFiles(kSignedList), secondKey, "", all},
        {"older list", SignedFiles(kOlderList), plain, "Signature check failed: ombrelta-files.sig", {}},
        {"list older than the installation", SignedFiles(kSignedList), newer,
         "Signature check failed: ombrelta-files.sig", {}},
        {"unversioned list", SignedFiles(kUnversionedList), plain, "Signature check failed: ombrelta-files.sig", {}},
        {"a mistyped second key", SignedFiles(kSignedList), mistypedOther,
         "Signature check failed: ombrelta-files.sig", {}},
        {"three keys", SignedFiles(kSignedList), threeKeys, "Signature check failed: ombrelta-files.sig", {}},
        {"no list", {IntactFile(0, "a.bin", "alpha\n")}, plain, "Signature check failed: ombrelta-files.sig", {}},
        {"bad signature", SignedFiles(badSignature), plain, "Signature check failed: ombrelta-files.sig", {}},
        {"empty key", SignedFiles(kSignedList), emptyKey,
         "Signature check failed: ombrelta-files.sig", {}},
        {"short key", SignedFiles(kSignedList), shortKey,
         "Signature check failed: ombrelta-files.sig", {}},
        {"added after signing",
         [] {
             std::vector<GameServer::File> files = SignedFiles(kSignedList);
             files.push_back(IntactFile(3, "c.bin", "c"));
             return files;
         }(),
         plain, "Signature check failed: c.bin", {kSignedFileListName}},
        {"MD5 differs",
         {IntactFile(0, "a.bin", "alphA\n"), IntactFile(2, kSignedFileListName, kSignedList)},
         plain, "Signature check failed: a.bin", {kSignedFileListName}},
        {"size differs", {wrongSize, IntactFile(2, kSignedFileListName, kSignedList)}, plain,
         "Signature check failed: a.bin", {kSignedFileListName}},
        {"chunks not the signed file", {changedChunks, IntactFile(2, kSignedFileListName, kSignedList)}, plain,
         "Signature check failed: a.bin", {kSignedFileListName}},
        {"SHA-256 differs", SignedFiles(kOtherSha256List), plain, "Signature check failed: a.bin",
         {kSignedFileListName}},
        {"SHA-256 differs, windowed", SignedFiles(kOtherSha256List), windowed, "Signature check failed: a.bin",
         {kSignedFileListName}},
        {"SHA-256 differs, kept", SignedFiles(kOtherSha256List), kept, "Signature check failed: a.bin",
         {kSignedFileListName}},
        {"without a key", SignedFiles(badSignature), noKey, "", all},
        {"without a key, added after signing", {IntactFile(3, "c.bin", "c")}, noKey, "", {"c.bin"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> written;
        EXPECT_EQ(RunCheck(row.files, row.settings, written), row.error);
        EXPECT_EQ(written, row.written);
    }
}

// Why a list is refused reaches the failure the events are told of, and so the launcher's log.
TEST(SignedFileCheck, RefusedListTellsWhy) {
    std::string badSignature = kSignedList;
    badSignature[badSignature.find("\n6 ") + 1] = '7';
    const struct {
        std::string list;
        std::string cause;
    } rows[] = {
        {kOlderList, "it is for version 2, below the installed 3"},
        {kUnversionedList, "it names no version"},
        {badSignature, "its signature does not hold for the public key"},
        {"x", "Malformed signed file list"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cause);
        std::vector<std::string> failures;
        const FileCheckSettings settings{
            .publicKey = Key(), .installedVersion = 3, .events = [&](const ProgressEvent& event) {
                if (event.kind == ProgressEventKind::Failed)
                    failures.push_back(event.detail);
            }};
        std::vector<std::string> written;
        EXPECT_EQ(RunCheck(SignedFiles(row.list), settings, written),
                  "Signature check failed: ombrelta-files.sig");
        EXPECT_EQ(failures, std::vector<std::string>{"Signature check failed: ombrelta-files.sig: "
                                                     "ombrelta-files.sig refused: " +
                                                     row.cause});
    }
}

// The download goes to a part beside the file, so the file is never replaced by bytes that fail.
TEST(SignedFileCheck, RefusedRepairLeavesTheFileAsItWas) {
    struct Row {
        const char* name;
        FileCheckSettings settings;
    };
    const std::vector<Row> rows = {{"plain", {.publicKey = Key()}},
                                   {"windowed", {.pipeline = 4, .publicKey = Key()}},
                                   {"kept", {.resume = true, .publicKey = Key()}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        WorkingDirectory cwd(dir.Path());
        test::WriteFileBytes(dir.Child(L"a.bin"), "old");
        GameServer server(SignedFiles(kOtherSha256List));
        LauncherApi api;
        server.Connect(api);
        EXPECT_THROW(VerifyAndRepairFiles(api, nullptr, nullptr, row.settings), std::runtime_error);
        EXPECT_EQ(test::ReadFileBytes(dir.Child(L"a.bin")), "old");
        EXPECT_FALSE(FileExists(dir.Child(L"a.bin.download")));
        EXPECT_FALSE(FileExists(dir.Child(L"a.bin.download.resume")));
    }
}

}  // namespace
}  // namespace ombrelta
