// ombrelta-config: turns plain key=value text into the scrambled "Ombrel.dat" form and back.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "common/Text.h"
#include "config/ConfigCheck.h"
#include "config/LauncherConfig.h"
#include "tools/entry/ExitCode.h"
#include "tools/entry/ToolErrors.h"
#include "tools/entry/ToolMain.h"
#include "tools/entry/ToolVersion.h"

namespace ombrelta {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

const char kUsage[] =
    "usage: ombrelta-config encode [--lenient] [IN [OUT]]\n"
    "       ombrelta-config decode [IN [OUT]]\n"
    "       ombrelta-config --help | --version\n"
    "  IN and OUT default to standard input and output (also -). encode refuses, naming the line,\n"
    "  text a launcher would not use as written; --lenient writes it all the same.\n";

using Bytes = std::vector<std::uint8_t>;

bool IsStandardStream(const std::wstring& name) {
    return name.empty() || name == L"-";
}

void Complain(const std::string& what, const std::wstring& name) {
    std::string line =
        "ombrelta-config: " + what + " " + (IsStandardStream(name) ? "-" : WideToUtf8(name)) + "\n";
    std::fputs(line.c_str(), stderr);
}

std::optional<Bytes> ReadStandardInput() {
    Bytes bytes;
    std::uint8_t buffer[kChunk];
    for (;;) {
        std::size_t got = std::fread(buffer, 1, sizeof buffer, stdin);
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (got < sizeof buffer)
            break;
    }
    if (std::ferror(stdin))
        return std::nullopt;
    return bytes;
}

std::optional<Bytes> ReadInput(const std::wstring& name) {
    if (IsStandardStream(name))
        return ReadStandardInput();
    std::optional<File> file = File::OpenRead(name);
    if (!file)
        return std::nullopt;
    Bytes bytes;
    std::uint8_t buffer[kChunk];
    for (;;) {
        std::optional<std::size_t> got = file->Read(buffer, sizeof buffer);
        if (!got)
            return std::nullopt;
        if (*got == 0)
            return bytes;
        bytes.insert(bytes.end(), buffer, buffer + *got);
    }
}

bool WriteOutput(const std::wstring& name, const Bytes& bytes) {
    if (IsStandardStream(name)) {
        bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
        return std::fflush(stdout) == 0 && written;
    }
    std::optional<File> file = File::OpenWrite(name);
    if (!file)
        return false;
    if (file->Write(bytes.data(), bytes.size()) && file->Close())
        return true;
    // A cut-short "Ombrel.dat" would unscramble into a different configuration; leave none.
    // Only a regular file goes: OUT may name a device.
    file->Close();
    if (GetFileSize(name))
        (void)DeleteFileAt(name);
    return false;
}

// The command, whether --lenient was given, IN and OUT; throws UsageError naming what is wrong.
struct Command {
    bool encode = false;
    bool lenient = false;
    std::wstring input = L"-";
    std::wstring output = L"-";
};

Command ParseCommand(const std::vector<std::wstring>& arguments) {
    if (arguments.empty())
        throw UsageError("missing command: expected encode or decode");
    if (arguments[0] != L"encode" && arguments[0] != L"decode")
        throw UsageError("unknown command " + WideToUtf8(arguments[0]) + ": expected encode or decode");
    Command command{.encode = arguments[0] == L"encode"};
    std::vector<std::wstring> files;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == L"--lenient" && command.encode)
            command.lenient = true;
        else if (arguments[i].starts_with(L"--"))
            throw UsageError("unknown option " + WideToUtf8(arguments[i]) +
                             (command.encode ? " (encode takes --lenient)" : " (decode takes none)"));
        else
            files.push_back(arguments[i]);
    }
    if (files.size() > 2)
        throw UsageError("unexpected argument " + WideToUtf8(files[2]) + ": expected at most IN and OUT");
    command.input = files.size() > 0 ? files[0] : L"-";
    command.output = files.size() > 1 ? files[1] : L"-";
    return command;
}

// True when the text may be written: it is fine, or --lenient lets it through with warnings.
bool AcceptText(const Bytes& bytes, bool lenient) {
    const std::vector<std::string> faults = CheckConfigText(std::string(bytes.begin(), bytes.end()));
    for (const std::string& fault : faults) {
        const std::string line = std::string("ombrelta-config: ") + (lenient ? "warning: " : "") + fault + "\n";
        std::fputs(line.c_str(), stderr);
    }
    return lenient || faults.empty();
}

int Run(const std::vector<std::wstring>& arguments) {
    const Command command = ParseCommand(arguments);
    // The whole input is read before the output is opened, so IN and OUT may be the same file.
    std::optional<Bytes> bytes = ReadInput(command.input);
    if (!bytes) {
        Complain("cannot read", command.input);
        return kExitFailed;
    }
    if (command.encode && !AcceptText(*bytes, command.lenient))
        return kExitBadInput;
    if (command.encode)
        ScrambleConfig(*bytes);
    else
        UnscrambleConfig(*bytes);
    if (!WriteOutput(command.output, *bytes)) {
        Complain("cannot write", command.output);
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace

int ToolMain(const std::vector<std::wstring>& arguments) {
    if (const std::optional<int> answered = AnswerHelpOrVersion("ombrelta-config", kUsage, arguments))
        return *answered;
    return RunPrintingErrors("ombrelta-config", [&] { return Run(arguments); }, kUsage);
}

}  // namespace ombrelta
