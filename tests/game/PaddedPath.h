#pragma once

#include <string>

#include "game/ProcessControl.h"

namespace ombrelta::test {

/// directory (ending with a separator) + name, with "./" steps that make the text before the last
/// separator exactly directoryLength characters long (by default one too many for the 260-character
/// working directory buffer). The steps lengthen the text, not the real path, so the file system
/// never sees a long name.
inline std::wstring PaddedPath(const std::wstring& directory, const std::wstring& name,
                               std::size_t directoryLength = kMaxWorkingDirectoryLength + 1) {
    const std::size_t wanted = directoryLength + 1;  // plus the last '/'
    std::wstring padded = directory;
    while (padded.size() + 2 <= wanted)
        padded += L"./";
    if (padded.size() < wanted)
        padded.insert(directory.size(), L"/");
    return padded + name;
}

}  // namespace ombrelta::test
