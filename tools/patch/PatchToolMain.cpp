// ombrelta-patch: makes patch archives from two game trees, checks and signs them before they are
// published.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/Base64.h"
#include "common/Decimal.h"
#include "common/PublicKeySet.h"
#include "common/Text.h"
#include "tools/content/PatchArchiveCheck.h"
#include "tools/content/PatchSignatureAudit.h"
#include "tools/content/PathText.h"
#include "tools/entry/ExitCode.h"
#include "tools/entry/ToolErrors.h"
#include "tools/entry/ToolMain.h"
#include "tools/patch/DeltaProgressLine.h"
#include "tools/patch/FileListSigner.h"
#include "tools/patch/P256Signer.h"
#include "tools/patch/PatchMaker.h"
#include "tools/patch/PatchSigner.h"

namespace ombrelta {
namespace {

const char kUsage[] =
    "usage: ombrelta-patch make --from OLD_DIR --to NEW_DIR --version N --out FILE.zip [--delta]\n"
    "       ombrelta-patch verify FILE.zip --version N [--public-key BASE64] [--from OLD_DIR]\n"
    "       ombrelta-patch keygen --out KEY\n"
    "       ombrelta-patch sign FILE.zip --key KEY [--version N]\n"
    "       ombrelta-patch sign-files FILES_DIR --key KEY [--version N]\n";

// "--name value" pairs after the subcommand, and "--delta" alone; a single bare argument is kept
// under "".
std::optional<std::map<std::string, std::string>> ParseArguments(const std::vector<std::wstring>& arguments) {
    std::map<std::string, std::string> values;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string name = WideToUtf8(arguments[i]);
        if (!name.starts_with("--") || name == "--delta") {
            if (!values.emplace(name.starts_with("--") ? name : "", name).second)
                return std::nullopt;
            continue;
        }
        if (i + 1 >= arguments.size() || !values.emplace(name, WideToUtf8(arguments[++i])).second)
            return std::nullopt;
    }
    return values;
}

// Signed, so that "make" can name a negative version in its complaint.
std::optional<std::int64_t> NumberOption(const std::map<std::string, std::string>& values, const std::string& key) {
    const auto it = values.find(key);
    return it == values.end() ? std::nullopt : ParseSignedDecimal<std::int64_t>(it->second);
}

int Refuse(const std::vector<std::string>& problems) {
    for (const std::string& problem : problems)
        std::fprintf(stderr, "ombrelta-patch: %s\n", problem.c_str());
    return kExitBadInput;
}

void PrintDeltaSummary(const patchkit::DeltaSummary& summary) {
    const double percent = summary.wholeArchiveBytes == 0
                               ? 100.0
                               : 100.0 * static_cast<double>(summary.archiveBytes) /
                                     static_cast<double>(summary.wholeArchiveBytes);
    std::printf("deltas: %zu of %zu files as deltas; %llu bytes, %.1f%% of the %llu bytes without deltas\n",
                summary.deltaFiles, summary.deltaFiles + summary.wholeFiles,
                static_cast<unsigned long long>(summary.archiveBytes),
                percent, static_cast<unsigned long long>(summary.wholeArchiveBytes));
}

int Make(const std::map<std::string, std::string>& values) {
    const std::vector<std::string> keys{"--from", "--to", "--version", "--out"};
    const std::optional<std::int64_t> version = NumberOption(values, "--version");
    const bool delta = values.contains("--delta");
    if (values.size() != keys.size() + (delta ? 1 : 0) || !version || !std::all_of(keys.begin(), keys.end(), [&](const auto& k) {
            return values.contains(k);
        })) {
        std::fputs(kUsage, stderr);
        return kExitBadInput;
    }
    patchkit::DeltaProgressLine progress;
    const patchkit::PatchOutcome outcome = patchkit::MakePatch({.oldTree = PathFromUtf8(values.at("--from")),
                                                                .newTree = PathFromUtf8(values.at("--to")),
                                                                .version = *version,
                                                                .archive = PathFromUtf8(values.at("--out")),
                                                                .delta = delta,
                                                                .deltaProgress = progress.Callback()});
    progress.Clear();
    for (const std::string& warning : outcome.warnings)
        std::fprintf(stderr, "ombrelta-patch: warning: %s\n", warning.c_str());
    if (!outcome.problems.empty())
        return Refuse(outcome.problems);
    std::printf("%s: %zu files and version.dat (version %lld)\n", values.at("--out").c_str(), outcome.fileCount,
                static_cast<long long>(*version));
    if (delta)
        PrintDeltaSummary(outcome.deltas);
    return kExitDone;
}

// With a public key the signature is part of the check, as for a launcher with that key;
// without one it only draws a warning, since only such launchers need it.
int Verify(const std::map<std::string, std::string>& values) {
    const std::optional<std::int64_t> version = NumberOption(values, "--version");
    const auto keyText = values.find("--public-key");
    const std::optional<PublicKeySet> key =
        keyText == values.end() ? std::nullopt : std::optional(PublicKeySet::Parse(keyText->second));
    const auto from = values.find("--from");
    const std::optional<std::filesystem::path> oldTree =
        from == values.end() ? std::nullopt : std::optional(PathFromUtf8(from->second));
    if (values.size() != 2u + (key ? 1u : 0u) + (oldTree ? 1u : 0u) || !values.contains("") || !version ||
        *version < 1 || *version > 65535 || (key && !key->Valid())) {
        std::fputs(kUsage, stderr);
        return kExitBadInput;
    }
    const std::filesystem::path archive = PathFromUtf8(values.at(""));
    const auto asked = static_cast<std::uint16_t>(*version);
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
int KeyGen(const std::map<std::string, std::string>& values) {
    if (values.size() != 1 || !values.contains("--out")) {
        std::fputs(kUsage, stderr);
        return kExitBadInput;
    }
    const patchkit::P256Signer signer = patchkit::P256Signer::Generate();
    signer.Save(PathFromUtf8(values.at("--out")));
    std::printf("publickey=%s\n", EncodeBase64(signer.PublicKey()).c_str());
    std::fprintf(stderr, "ombrelta-patch: private key written to %s; keep it off the server\n",
                 values.at("--out").c_str());
    return kExitDone;
}

int Sign(const std::map<std::string, std::string>& values) {
    const std::optional<std::int64_t> version = NumberOption(values, "--version");
    const bool versionGood = !values.contains("--version") || (version && *version >= 1 && *version <= 65535);
    if (values.size() != (values.contains("--version") ? 3u : 2u) || !values.contains("") ||
        !values.contains("--key") || !versionGood) {
        std::fputs(kUsage, stderr);
        return kExitBadInput;
    }
    const patchkit::P256Signer signer = patchkit::P256Signer::Load(PathFromUtf8(values.at("--key")));
    const std::optional<std::uint16_t> asked =
        version ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*version)) : std::nullopt;
    const patchkit::SignOutcome outcome = patchkit::SignPatch(PathFromUtf8(values.at("")), signer, asked);
    if (!outcome.problems.empty())
        return Refuse(outcome.problems);
    std::printf("%s: signed for version %u\n", values.at("").c_str(), static_cast<unsigned>(outcome.version));
    return kExitDone;
}

// The list's version: --version, or else the newest patch beside the files folder, which is what
// "version.dat" holds once a launcher has installed every patch.
std::optional<std::uint16_t> ListVersion(const std::map<std::string, std::string>& values,
                                         const std::filesystem::path& filesDir) {
    if (!values.contains("--version"))
        return patchkit::NewestPatchVersion(filesDir / ".." / "patches");
    const std::optional<std::int64_t> version = NumberOption(values, "--version");
    if (!version || *version < 0 || *version > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(*version);
}

int SignFiles(const std::map<std::string, std::string>& values) {
    const bool sized = values.size() == (values.contains("--version") ? 3u : 2u);
    if (!sized || !values.contains("") || !values.contains("--key")) {
        std::fputs(kUsage, stderr);
        return kExitBadInput;
    }
    const std::filesystem::path filesDir = PathFromUtf8(values.at(""));
    const std::optional<std::uint16_t> version = ListVersion(values, filesDir);
    if (!version) {
        if (!values.contains("--version"))
            std::fputs(
                "ombrelta-patch: no patch in FILES_DIR/../patches to take the version from: give --version "
                "N\n",
                stderr);
        std::fputs(kUsage, stderr);
        return kExitBadInput;
    }
    const patchkit::P256Signer signer = patchkit::P256Signer::Load(PathFromUtf8(values.at("--key")));
    const patchkit::FileSigningOutcome outcome = patchkit::SignGameFiles(filesDir, signer, *version);
    if (!outcome.problems.empty())
        return Refuse(outcome.problems);
    std::printf("%s: %zu files signed in ombrelta-files.sig for version %u\n", values.at("").c_str(),
                outcome.fileCount, unsigned{*version});
    return kExitDone;
}

using Command = int (*)(const std::map<std::string, std::string>&);
const std::map<std::string, Command> kCommands = {
    {"make", Make}, {"verify", Verify}, {"keygen", KeyGen}, {"sign", Sign}, {"sign-files", SignFiles}};

}  // namespace

int ToolMain(const std::vector<std::wstring>& arguments) {
    const std::string command = arguments.empty() ? "" : WideToUtf8(arguments[0]);
    const std::optional<std::map<std::string, std::string>> values = ParseArguments(arguments);
    const auto found = kCommands.find(command);
    if (!values || found == kCommands.end()) {
        std::fputs(kUsage, stderr);
        return kExitBadInput;
    }
    return RunPrintingErrors("ombrelta-patch", [&] { return found->second(*values); });
}

}  // namespace ombrelta
