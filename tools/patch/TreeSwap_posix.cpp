#include "tools/patch/TreeSwap.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

namespace ombrelta::patchkit {

void ExchangePaths(const std::filesystem::path& first, const std::filesystem::path& second) {
    if (::renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE) != 0)
        throw std::filesystem::filesystem_error("cannot exchange", first, second,
                                                std::error_code(errno, std::generic_category()));
}

bool OnOneFileSystem(const std::filesystem::path& first, const std::filesystem::path& second) {
    struct stat a {
    }, b{};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev;
}

}  // namespace ombrelta::patchkit
