// ombrelta-patch: makes patch archives from two game trees, checks and signs them before they are
// published.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "common/Base64.h"
#include "common/PublicKeySet.h"
#include "common/Text.h"
#include "tools/content/PatchArchiveCheck.h"
#include "tools/content/PatchSignatureAudit.h"
#include "tools/content/PathText.h"
#include "tools/content/PublicKeyArgument.h"
#include "tools/entry/ExitCode.h"
#include "tools/entry/ToolErrors.h"
#include "tools/entry/ToolMain.h"
#include "tools/entry/ToolVersion.h"
#include "tools/patch/DeltaProgressLine.h"
#include "tools/patch/FileListSigner.h"
#include "tools/patch/OperatorCommands.h"
#include "tools/patch/P256Signer.h"
#include "tools/patch/PatchArguments.h"
#include "tools/patch/PatchMaker.h"
#include "tools/patch/PatchSigner.h"

namespace ombrelta {
namespace {

const char kUsage[] =
    "usage: ombrelta-patch make --from OLD_DIR --to NEW_DIR --version N --out FILE.zip [--delta]\n"
    "       ombrelta-patch verify FILE.zip --version N [--public-key KEY] [--from OLD_DIR]\n"
    "       ombrelta-patch keygen --out KEY\n"
    "       ombrelta-patch public-key --key KEY\n"
    "       ombrelta-patch sign FILE.zip --key KEY [--version N]\n"
    "       ombrelta-patch sign-files FILES_DIR --key KEY [--version N]\n"
    "       ombrelta-patch mirror --root ROOT --out DIR [--prune]\n"
    "       ombrelta-patch publish --root ROOT --to NEW_TREE --version N [--delta] [--sign-key KEY]\n"
    "                      [--mirror DIR] [--reload-pid FILE | --reload-command CMD] [--dry-run]\n"
    "       ombrelta-patch list --root ROOT\n"
    "       ombrelta-patch --help | --version\n"
    "  KEY of --public-key: a launcher's publickey value, or the publickey= line keygen prints\n";

using patchkit::CommandArguments;
using patchkit::NumberArgument;
using patchkit::Refuse;
using patchkit::RequireShape;

// An input named on the command line must be there before any work starts, so that its
// absence is named as such rather than as a failure half-way.
std::filesystem::path ExistingInput(const std::string& text, const std::string& what, bool folder) {
    const std::filesystem::path path = PathFromUtf8(text);
    std::error_code error;
    const bool found = folder ? std::filesystem::is_directory(path, error)
                              : std::filesystem::is_regular_file(path, error);
    if (!found)
        throw InputError(what + (folder ? ": no such folder: " : ": no such file: ") + text);
    return path;
}

patchkit::P256Signer LoadKey(const CommandArguments& values) {
    const std::filesystem::path file = ExistingInput(values.at("--key"), "--key", false);
    try {
        return patchkit::P256Signer::Load(file);
    } catch (const std::runtime_error& e) {
        throw InputError("--key " + values.at("--key") + ": " + e.what());
    }
}

void PrintDeltaSummary(const patchkit::DeltaSummary& summary) {
    std::printf("%s\n", patchkit::DescribeDeltas(summary).c_str());
}

int Make(const CommandArguments& values) {
    RequireShape(values, {.command = "make",
                          .required = {{"--from", "OLD_DIR"}, {"--to", "NEW_DIR"}, {"--version", "N"},
                                       {"--out", "FILE.zip"}},
                          .flags = {"--delta"}});
    const std::int64_t version = *NumberArgument(values, "--version", 1, 65535);
    const bool delta = values.contains("--delta");
    patchkit::DeltaProgressLine progress;
    const patchkit::PatchOutcome outcome =
        patchkit::MakePatch({.oldTree = ExistingInput(values.at("--from"), "--from", true),
                             .newTree = ExistingInput(values.at("--to"), "--to", true),
                             .version = version,
                             .archive = PathFromUtf8(values.at("--out")),
                             .delta = delta,
                             .deltaProgress = progress.Callback()});
    progress.Clear();
    for (const std::string& warning : outcome.warnings)
        std::fprintf(stderr, "ombrelta-patch: warning: %s\n", warning.c_str());
    if (!outcome.problems.empty())
        return Refuse(outcome.problems);
    std::printf("%s: %zu files and version.dat (version %lld)\n", values.at("--out").c_str(), outcome.fileCount,
                static_cast<long long>(version));
    if (delta)
        PrintDeltaSummary(outcome.deltas);
    return kExitDone;
}

std::optional<PublicKeySet> PublicKeyArgument(const CommandArguments& values) {
    const auto text = values.find("--public-key");
    if (text == values.end())
        return std::nullopt;
    PublicKeySet key = ParsePublicKeyArgument(text->second);
    if (!key.Valid())
        throw UsageError("--public-key: expected one or two base64 P-256 keys separated by a comma, or the "
                         "publickey= line keygen prints");
    return key;
}

// With a public key the signature is part of the check, as for a launcher with that key;
// without one it only draws a warning, since only such launchers need it.
int Verify(const CommandArguments& values) {
    RequireShape(values, {.command = "verify",
                          .required = {{"--version", "N"}},
                          .optional = {{"--public-key", "KEY"}, {"--from", "OLD_DIR"}},
                          .operand = "FILE.zip"});
    const auto asked = static_cast<std::uint16_t>(*NumberArgument(values, "--version", 1, 65535));
    const std::optional<PublicKeySet> key = PublicKeyArgument(values);
    const std::filesystem::path archive = ExistingInput(values.at(""), "patch archive", false);
    const std::optional<std::filesystem::path> oldTree =
        values.contains("--from") ? std::optional(ExistingInput(values.at("--from"), "--from", true))
                                  : std::nullopt;
    std::vector<std::string> problems = VerifyPatchArchive(archive, asked, oldTree);
    if (key && !SignedWith(archive, *key, asked))
        problems.push_back("not signed for version " + std::to_string(asked) +
                           " with this public key: a launcher with it refuses the patch");
    if (!problems.empty())
        return Refuse(problems);
    if (const std::optional<SignatureWarning> warning = PatchSignatureWarning(archive, asked);
        warning && !key)
        std::fprintf(stderr, "ombrelta-patch: warning: %s\n", warning->text.c_str());
    std::printf("%s: good for version %u%s\n", values.at("").c_str(), unsigned{asked}, key ? ", signed" : "");
    return kExitDone;
}

// The public half goes to standard output alone, ready to be added to "Ombrel.dat".
int KeyGen(const CommandArguments& values) {
    RequireShape(values, {.command = "keygen", .required = {{"--out", "KEY"}}});
    const patchkit::P256Signer signer = patchkit::P256Signer::Generate();
    signer.Save(PathFromUtf8(values.at("--out")));
    std::printf("publickey=%s\n", EncodeBase64(signer.PublicKey()).c_str());
    std::fprintf(stderr, "ombrelta-patch: private key written to %s; keep it off the server\n",
                 values.at("--out").c_str());
    return kExitDone;
}

int PublicKey(const CommandArguments& values) {
    RequireShape(values, {.command = "public-key", .required = {{"--key", "KEY"}}});
    std::printf("publickey=%s\n", EncodeBase64(LoadKey(values).PublicKey()).c_str());
    return kExitDone;
}

int Sign(const CommandArguments& values) {
    RequireShape(values, {.command = "sign",
                          .required = {{"--key", "KEY"}},
                          .optional = {{"--version", "N"}},
                          .operand = "FILE.zip"});
    const std::optional<std::int64_t> version = NumberArgument(values, "--version", 1, 65535);
    const std::filesystem::path archive = ExistingInput(values.at(""), "patch archive", false);
    const patchkit::P256Signer signer = LoadKey(values);
    const std::optional<std::uint16_t> asked =
        version ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*version)) : std::nullopt;
    const patchkit::SignOutcome outcome = patchkit::SignPatch(archive, signer, asked);
    if (!outcome.problems.empty())
        return Refuse(outcome.problems);
    std::printf("%s: signed for version %u\n", values.at("").c_str(), static_cast<unsigned>(outcome.version));
    return kExitDone;
}

// The list's version: --version, or else the newest patch beside the files folder, which is what
// "version.dat" holds once a launcher has installed every patch.
std::uint16_t ListVersion(const CommandArguments& values, const std::filesystem::path& filesDir) {
    if (const std::optional<std::int64_t> version = NumberArgument(values, "--version", 0, 65535))
        return static_cast<std::uint16_t>(*version);
    if (const std::optional<std::uint16_t> newest = patchkit::NewestPatchVersion(filesDir / ".." / "patches"))
        return *newest;
    throw UsageError("sign-files: no patch in " + PathToUtf8(filesDir / ".." / "patches") +
                     " to take the version from: give --version N");
}

int SignFiles(const CommandArguments& values) {
    RequireShape(values, {.command = "sign-files",
                          .required = {{"--key", "KEY"}},
                          .optional = {{"--version", "N"}},
                          .operand = "FILES_DIR"});
    const std::filesystem::path filesDir = ExistingInput(values.at(""), "files folder", true);
    const std::uint16_t version = ListVersion(values, filesDir);
    const patchkit::P256Signer signer = LoadKey(values);
    const patchkit::FileSigningOutcome outcome = patchkit::SignGameFiles(filesDir, signer, version);
    if (!outcome.problems.empty())
        return Refuse(outcome.problems);
    std::printf("%s: %zu files signed in ombrelta-files.sig for version %u\n", values.at("").c_str(),
                outcome.fileCount, unsigned{version});
    return kExitDone;
}

const char kCommandNames[] = "make, verify, keygen, public-key, sign, sign-files, mirror, publish or list";

using Command = int (*)(const CommandArguments&);
const std::map<std::string, Command> kCommands = {{"make", Make},
                                                  {"verify", Verify},
                                                  {"keygen", KeyGen},
                                                  {"sign", Sign},
                                                  {"sign-files", SignFiles},
                                                  {"public-key", PublicKey},
                                                  {"mirror", patchkit::MirrorCommand},
                                                  {"publish", patchkit::PublishCommand},
                                                  {"list", patchkit::ListCommand}};

int Run(const std::vector<std::wstring>& arguments) {
    if (arguments.empty())
        throw UsageError("missing command: expected " + std::string(kCommandNames));
    const std::string command = WideToUtf8(arguments[0]);
    const auto found = kCommands.find(command);
    if (found == kCommands.end())
        throw UsageError("unknown command " + command +
                         ": expected " + kCommandNames);
    if (std::find(arguments.begin(), arguments.end(), L"--help") != arguments.end()) {
        std::fputs(kUsage, stdout);
        return kExitDone;
    }
    return found->second(patchkit::SplitArguments(arguments));
}

}  // namespace

int ToolMain(const std::vector<std::wstring>& arguments) {
    if (const std::optional<int> answered = AnswerHelpOrVersion("ombrelta-patch", kUsage, arguments))
        return *answered;
    return RunPrintingErrors("ombrelta-patch", [&] { return Run(arguments); }, kUsage);
}

}  // namespace ombrelta
