#include "game/ProcessControl.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cwchar>
#include <vector>

namespace ombrelta {
namespace {

/// Closes a kernel handle on destruction.
class HandleCloser {
public:
    explicit HandleCloser(HANDLE handle) : handle(handle) {}
    HandleCloser(const HandleCloser&) = delete;
    HandleCloser& operator=(const HandleCloser&) = delete;
    ~HandleCloser() {
        if (handle && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }

private:
    HANDLE handle;
};

}  // namespace

bool LaunchProcess(const std::wstring& commandLine, const std::wstring& workingDirectory) {
    if (workingDirectory.size() > kMaxWorkingDirectoryLength)
        return false;
    wchar_t directory[kMaxWorkingDirectoryLength + 1] = {};
    std::wmemcpy(directory, workingDirectory.c_str(), workingDirectory.size());
    // CreateProcessW may write into the command line, so it gets its own terminated copy.
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, directory, &startup,
                        &info))
        return false;
    // The game is never waited on through these handles.
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

bool ForEachProcess(const std::function<bool(const ProcessEntry&)>& visit) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    HandleCloser closer(snapshot);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (!visit(ProcessEntry{.id = entry.th32ProcessID, .exeName = entry.szExeFile}))
            break;
    }
    return true;
}

bool TerminateProcessById(std::uint32_t id) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
    if (!process)
        return false;
    HandleCloser closer(process);
    return TerminateProcess(process, 0) != FALSE;
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    if (a.empty())
        return true;
    int length = static_cast<int>(a.size());
    return CompareStringOrdinal(a.data(), length, b.data(), length, TRUE) == CSTR_EQUAL;
}

std::uint32_t CurrentTickCount() {
    return GetTickCount();
}

}  // namespace ombrelta
