#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/DiskSpace.h"

namespace ombrelta::test {

/// While it lives, every volume reports bytes free, and the directories asked about are noted.
class FreeSpaceStub {
public:
    explicit FreeSpaceStub(std::uint64_t bytes) {
        SetFreeSpaceQuery([this, bytes](const std::wstring& directory) {
            asked.push_back(directory);
            return bytes;
        });
    }
    ~FreeSpaceStub() { SetFreeSpaceQuery({}); }
    FreeSpaceStub(const FreeSpaceStub&) = delete;
    FreeSpaceStub& operator=(const FreeSpaceStub&) = delete;

    std::vector<std::wstring> asked;
};

}  // namespace ombrelta::test
