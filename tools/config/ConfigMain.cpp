// ombrelta-config: turns plain key=value text into the scrambled "Ombrel.dat" form and back.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "common/Text.h"
#include "config/LauncherConfig.h"
#include "tools/entry/ExitCode.h"
#include "tools/entry/ToolErrors.h"
#include "tools/entry/ToolMain.h"

namespace ombrelta {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

const char kUsage[] = "usage: ombrelta-config encode|decode [IN [OUT]]\n";

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

int Run(const std::vector<std::wstring>& arguments) {
    if (arguments.empty() || arguments.size() > 3 ||
        (arguments[0] != L"encode" && arguments[0] != L"decode")) {
        std::fputs(kUsage, stderr);
        return kExitBadInput;
    }
    const std::wstring input = arguments.size() > 1 ? arguments[1] : L"-";
    const std::wstring output = arguments.size() > 2 ? arguments[2] : L"-";
    // The whole input is read before the output is opened, so IN and OUT may be the same file.
    std::optional<Bytes> bytes = ReadInput(input);
    if (!bytes) {
        Complain("cannot read", input);
        return kExitFailed;
    }
    if (arguments[0] == L"encode")
        ScrambleConfig(*bytes);
    else
        UnscrambleConfig(*bytes);
    if (!WriteOutput(output, *bytes)) {
        Complain("cannot write", output);
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace

int ToolMain(const std::vector<std::wstring>& arguments) {
    return RunPrintingErrors("ombrelta-config", [&] { return Run(arguments); });
}

}  // namespace ombrelta
