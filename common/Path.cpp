#include "common/Path.h"

#include "common/FileSystem.h"

namespace ombrelta {

std::wstring JoinPath(std::wstring_view a, std::wstring_view b) {
    if (a.empty())
        return std::wstring(b);
    if (b.empty())
        return std::wstring(a);
    std::wstring joined(a);
    if (!IsSeparator(joined.back()))
        joined += L'\\';
    joined += b;
    return joined;
}

bool CreateDirectories(const std::wstring& d) {
    if (d.empty())
        return false;
    if (PathExists(d))
        return true;
    for (std::size_t i = 1; i < d.size(); ++i) {
        if (!IsSeparator(d[i]))
            continue;
        // The prefix keeps its separator; a lone "\" or "C:" root is never created.
        std::wstring prefix = d.substr(0, i + 1);
        if (!PathExists(prefix))
            (void)CreateDirectoryAt(prefix);
    }
    if (!PathExists(d))
        (void)CreateDirectoryAt(d);
    return PathExists(d);
}

bool EnsureParentDirectories(const std::wstring& p) {
    std::size_t last = p.find_last_of(L"\\/");
    if (last == std::wstring::npos || last == 0)
        return true;
    return CreateDirectories(p.substr(0, last));
}

std::wstring GetExecutableDirectory() {
    std::wstring path = GetExecutablePath();
    std::size_t last = path.find_last_of(L"\\/");
    if (last == std::wstring::npos)
        return {};
    return path.substr(0, last + 1);
}

}  // namespace ombrelta
